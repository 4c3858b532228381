#pragma once
// A new, uniquely named image file in the image folder.
#include <cstdint>
#include <string>

// Creates a new, empty file "IMGxxxx.TMP" (four upper-case hexadecimal
// digits) in folder, exclusively; returns its full path, or an empty text
// with error set (missing folder, no permission, every name taken).
std::string NewImageFileName(const std::string& folder, int& error);
// The same, trying the number `start` first (0 counts as 1), then the
// following ones, skipping 0.
std::string NewImageFileName(const std::string& folder, int& error, std::uint16_t start);
