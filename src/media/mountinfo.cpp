#include "media/mountinfo.h"

#include <algorithm>
#include <charconv>

namespace {

std::optional<unsigned> ParseUnsigned(std::string_view text)
{
    unsigned value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        return std::nullopt;
    return value;
}

// mountinfo writes space, tab, newline and backslash as \ooo.
std::string Unescape(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            const char a = text[i + 1], b = text[i + 2], c = text[i + 3];
            if (a >= '0' && a <= '3' && b >= '0' && b <= '7' && c >= '0' && c <= '7') {
                out.push_back(static_cast<char>((a - '0') * 64 + (b - '0') * 8 + (c - '0')));
                i += 3;
                continue;
            }
        }
        out.push_back(text[i]);
    }
    return out;
}

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

} // namespace

std::optional<DevNumber> ParseDevNumber(std::string_view text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    auto major = ParseUnsigned(text.substr(0, colon));
    auto minor = ParseUnsigned(text.substr(colon + 1));
    if (!major || !minor)
        return std::nullopt;
    return DevNumber{*major, *minor};
}

std::vector<MountEntry> ParseMountInfo(std::string_view text)
{
    // id parent major:minor root mount-point options [optional fields...] - fstype source super-options
    std::vector<MountEntry> entries;
    while (!text.empty()) {
        const auto nl = text.find('\n');
        const std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);

        const auto f = SplitFields(line);
        if (f.size() < 10)
            continue;
        const auto dash = std::find(f.begin() + 6, f.end(), std::string_view("-"));
        if (dash == f.end() || f.end() - dash < 3)
            continue;
        auto dev = ParseDevNumber(f[2]);
        if (!dev)
            continue;
        MountEntry e;
        e.device = *dev;
        e.root = Unescape(f[3]);
        e.mountPoint = Unescape(f[4]);
        e.fsType = std::string(dash[1]);
        e.source = Unescape(dash[2]);
        entries.push_back(std::move(e));
    }
    return entries;
}

bool AnyMounted(const std::vector<MountEntry>& mounts, const std::vector<DevNumber>& devices,
                const SourceDeviceFunc& sourceDevice)
{
    auto ours = [&](const DevNumber& d) { return std::find(devices.begin(), devices.end(), d) != devices.end(); };
    for (const auto& m : mounts) {
        if (ours(m.device))
            return true;
        if (!m.source.empty() && m.source.front() == '/' && sourceDevice) {
            if (auto d = sourceDevice(m.source); d && ours(*d))
                return true;
        }
    }
    return false;
}
