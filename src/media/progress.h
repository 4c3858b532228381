#pragma once
// The progress line of a transfer on a terminal, and the window's figures
// after its status text: bar, percentage, speed and time left, worked out
// from plain figures so it can be checked without either.
#include <cstdint>
#include <string>

struct ProgressFigures {
    std::uint64_t done = 0;      // units copied so far
    std::uint64_t total = 0;     // units in all
    std::uint64_t unitBytes = 0; // bytes per unit (a sector); 0 when unknown
    double seconds = 0;          // since the copy started
};

// "[##########----------]  50%  120 kB/s  0:12 left": leftText is the
// catalogue's text for the time left with %s for the time. Speed and time
// left show "--" until there is a second's worth of figures to go by.
// A barWidth of 0 leaves the bar out.
std::string ProgressLine(const ProgressFigures& figures, const std::string& leftText, int barWidth = 24);

// 1474560 -> "1.5 MB"; decimal units, as drives are sold.
std::string FormatBytes(std::uint64_t bytes);

// 75 -> "1:15", 3725 -> "1:02:05".
std::string FormatDuration(std::uint64_t seconds);
