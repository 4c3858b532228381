#pragma once
// Virtual drives for tests: regular files in a temporary folder served by
// the host's drive access.
#include "media/drive.h"
#include "media/drivetable.h"
#include "support/tempdir.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

// Drive access over letter -> path, without detection.
std::unique_ptr<DriveAccess> DrivesOver(const std::map<char, std::string>& paths);

// The bytes of a file, or empty when it cannot be read.
std::vector<std::uint8_t> FileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Runs a shell command; its exit status.
int RunCommand(const std::string& command);

// A FAT image of `kilobytes` made by mkfs.fat (extra options before the
// file name); empty path when mkfs.fat is missing or fails.
std::string MakeFatImage(const TempDir& dir, const std::string& name, unsigned kilobytes,
                         const std::string& options = {});
