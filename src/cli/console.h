#pragma once
// What the command-line tool needs from the host's terminal and process:
// whether a stream is a terminal, answers typed on it, the interrupt keys
// and where the running executable lies. One realisation per host
// (console_linux.cpp).
#include <string>

enum class Stream { In, Out, Err };

bool IsTerminal(Stream stream);

// Ctrl-C (and a hang-up or termination request) sets the cancel flag
// instead of ending the process, so that a transfer ends the way Esc ends
// it in the window and leaves no half-written file. A second Ctrl-C ends
// the process as usual, for a device that does not answer.
void InstallCancelSignals();
bool CancelSignalled();
void ClearCancelSignal();

// One line typed on standard input, without its line end. false at the end
// of the input or when Ctrl-C interrupted the wait.
bool ReadAnswerLine(std::string& line);

// Writes all bytes to the stream (UTF-8 texts as they are).
void WriteText(Stream stream, const std::string& text);

// Full path of the running executable; empty when the host cannot tell.
std::string RunningExecutable();
