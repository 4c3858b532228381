#pragma once
// Small text helpers shared by the language file and the settings store.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The tolerant integer conversion: leading blanks skipped, an optional sign,
// then decimal digits, or hexadecimal digits after "$", "x", "X", "0x", "0X".
// Empty when the text does not convert completely or leaves the 32-bit range
// (hexadecimal may use all 32 bits: "$FFFFFFFF" is -1).
std::optional<std::int32_t> ParseInteger(std::string_view text);

// Removes leading and trailing bytes of value 0x20 or below.
std::string_view TrimBlanks(std::string_view text);

// ASCII upper case of one byte; other bytes unchanged.
constexpr char AsciiUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive comparison of ASCII letters; other bytes compare exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);

// Replaces every "%s" in text by arg; nothing else in text is interpreted.
std::string FillPlaceholder(std::string_view text, std::string_view arg);
