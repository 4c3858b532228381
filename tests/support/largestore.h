#pragma once
// A settings store grown far past any real one, for the store benchmarks.
#include <cstddef>
#include <string>

// Appends a junk key of about `bytes` bytes of string values to the store
// file at path, as another program (or a runaway script) would, then waits
// until the file is old enough for a kept parse to be trusted, as a store
// is at a start.
void AppendJunkKey(const std::string& path, std::size_t bytes);
