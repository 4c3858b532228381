// Any bytes as the sysfs texts of a few block devices (fields separated by
// NUL bytes): the detected drives and the drive table built from them keep
// their rules whatever the texts say.
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "media/sysfsblock.h"

namespace {

std::vector<std::string> SplitAtNul(std::string_view text)
{
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\0', start);
        fields.emplace_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos)
            return fields;
        start = end + 1;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzInput in(data, size);
    const auto explicitLetters = in.Take<std::uint32_t>();
    const auto fields = SplitAtNul(in.Rest());

    std::vector<SysfsBlockEntry> entries;
    for (std::size_t i = 0; i + 9 <= fields.size() && entries.size() < 64; i += 9)
        entries.push_back({fields[i], fields[i + 1], fields[i + 2], fields[i + 3], fields[i + 4], fields[i + 5],
                           fields[i + 6], fields[i + 7], fields[i + 8]});

    std::map<char, DriveCandidate> explicitEntries;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const SysfsBlockEntry& e = entries[i];
        FUZZ_REQUIRE(SysfsSizeBytes(e.size) % 512 == 0);
        const std::string description = DescribeBlockDevice(e);
        FUZZ_REQUIRE(FormatMediumSize(SysfsSizeBytes(e.size)).size() < 48);
        // Some entries are named explicitly, on a letter the input chooses (any byte).
        if (i < 4 && (explicitLetters >> (8 * i) & 0xFF) != 0) {
            const char key = static_cast<char>(explicitLetters >> (8 * i) & 0xFF);
            explicitEntries[key] = DriveCandidate{e.name, ExplicitDeviceKind(e), description};
        }
    }

    const auto detected = DetectedDrives(entries);
    FUZZ_REQUIRE(detected.size() <= entries.size());
    bool removableSeen = false;
    for (const DriveCandidate& c : detected) {
        FUZZ_REQUIRE(c.device.rfind("/dev/", 0) == 0);
        FUZZ_REQUIRE(c.kind == DriveKind::Floppy || c.kind == DriveKind::Removable);
        // Internal floppy drives come before removable disks.
        FUZZ_REQUIRE(!(removableSeen && c.kind == DriveKind::Floppy));
        removableSeen = removableSeen || c.kind == DriveKind::Removable;
    }

    const auto table = AssignDriveLetters(explicitEntries, detected);
    FUZZ_REQUIRE(!table.empty() && table.front().letter == 'A');
    std::set<std::string> devices;
    char previous = 0;
    for (const DriveEntry& e : table) {
        FUZZ_REQUIRE(e.letter >= 'A' && e.letter <= 'Z' && e.letter > previous);
        previous = e.letter;
        FUZZ_REQUIRE(!e.device.empty());
        FUZZ_REQUIRE(e.display.rfind(std::string(1, e.letter) + ": " + e.device, 0) == 0);
        devices.insert(e.device);
    }
    // While letters are left, no detected drive goes without one.
    if (table.size() < 26)
        for (const DriveCandidate& c : detected)
            FUZZ_REQUIRE(devices.count(c.device) == 1);
    return 0;
}
