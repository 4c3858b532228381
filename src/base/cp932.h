#pragma once
// Code page 932 (Shift-JIS) <-> UTF-8. Header texts are stored as code page
// 932 bytes; the windows show and edit Unicode.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// First byte of a double-byte character.
constexpr bool IsCp932LeadByte(std::uint8_t b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// Never fails: a byte sequence that is not code page 932 becomes U+FFFD.
std::string Cp932ToUtf8(std::string_view bytes);

// Empty optional when a character has no code page 932 form (or the input is
// not valid UTF-8); nothing is replaced silently.
std::optional<std::string> Utf8ToCp932(std::string_view utf8);
