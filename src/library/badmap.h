#pragma once
// The map of unreadable sectors kept beside an image ("IMG….TMP.map"), in
// the GNU ddrescue mapfile format: byte positions and sizes on the medium,
// '+' read, '-' unreadable.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

std::string FormatBadSectorMap(std::span<const std::uint64_t> unreadable, std::uint32_t bytesPerSector,
                               std::uint64_t mediumBytes);

// The unreadable sectors a mapfile lists (every sector touched by a block
// whose status is not '+'), ascending; empty optional when the text is no
// mapfile.
std::optional<std::vector<std::uint64_t>> ParseBadSectorMap(std::string_view text, std::uint32_t bytesPerSector);
