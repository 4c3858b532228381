#include "media/progress.h"

#include <cmath>
#include <cstdio>

#include "base/textconv.h"

std::string FormatBytes(std::uint64_t bytes)
{
    static const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    int unit = 0;
    while (value >= 1000.0 && unit < 4) {
        value /= 1000.0;
        ++unit;
    }
    char text[32];
    if (unit == 0)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else
        std::snprintf(text, sizeof text, value < 10.0 ? "%.1f %s" : "%.0f %s", value, units[unit]);
    return text;
}

std::string FormatDuration(std::uint64_t seconds)
{
    char text[32];
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02u:%02u", static_cast<unsigned long long>(seconds / 3600),
                      static_cast<unsigned>(seconds / 60 % 60), static_cast<unsigned>(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u", static_cast<unsigned>(seconds / 60),
                      static_cast<unsigned>(seconds % 60));
    return text;
}

std::string ProgressLine(const ProgressFigures& f, const std::string& leftText, int barWidth)
{
    const std::uint64_t done = f.done < f.total ? f.done : f.total;
    const double fraction = f.total == 0 ? 0.0 : static_cast<double>(done) / static_cast<double>(f.total);
    const int filled = static_cast<int>(fraction * barWidth);
    std::string line = barWidth == 0 ? std::string()
                                     : "[" + std::string(static_cast<std::size_t>(filled), '#') +
                                           std::string(static_cast<std::size_t>(barWidth - filled), '-') + "]";
    char percent[8];
    std::snprintf(percent, sizeof percent, "%4d%%", static_cast<int>(fraction * 100.0));
    line += percent;

    const bool measured = f.seconds >= 1.0 && done > 0;
    line += "  ";
    if (measured && f.unitBytes > 0)
        line += FormatBytes(static_cast<std::uint64_t>(static_cast<double>(done * f.unitBytes) / f.seconds)) + "/s";
    else
        line += "-- B/s";
    line += "  ";
    if (measured) {
        const double left = static_cast<double>(f.total - done) * f.seconds / static_cast<double>(done);
        line += FillPlaceholder(leftText, FormatDuration(static_cast<std::uint64_t>(std::ceil(left))));
    } else {
        line += FillPlaceholder(leftText, "--:--");
    }
    return line;
}
