#pragma once
// Small helpers the library and window tests share: what outside tools
// print, reproducible data, and how full a folder is.
#include <cstddef>
#include <string>

// What the shell command printed on standard output; *status, when given,
// gets pclose's status (-1 when the command could not be started).
std::string ShellOutput(const std::string& command, int* status = nullptr);

// The first line of ShellOutput, without its line end.
std::string ShellLine(const std::string& command);

// n bytes of a fixed pseudo-random sequence chosen by seed: data no coder
// or hash gets right by accident.
std::string PseudoRandomBytes(std::size_t n, unsigned seed);

// How many entries folder holds, dot files left out; 0 when it cannot be read.
int FilesIn(const std::string& folder);
