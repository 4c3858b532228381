#pragma once
// The message table: every text the program shows in a box or status bar,
// or sets as a caption at run time. Built once by InitMessages before any
// window exists; read-only afterwards. Texts are UTF-8.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr int kMessageCount = 140;

extern std::array<std::string, kMessageCount> MessageTable;
extern bool LanguageLoaded;
extern std::string LanguageFontName;
extern std::int32_t LanguageFontSize;
extern std::uint8_t LanguageFontCharset;

// exePath: the running executable; its language file is exePath with the
// extension replaced by ".rsl".
void InitMessages(const std::string& exePath);

// The Qt locale the language file names for the toolkit's own texts
// (standard buttons, file dialogs): "Font01"/"Locale", read by the same rules
// as the other entries; empty without a language file or without the entry.
std::string LanguageLocaleName(const std::string& exePath);

// Entry n with its one "%s" filled by plain substitution.
std::string MessageText(int n, std::string_view arg = {});

// The executable's path with its extension replaced (or appended): ".rsl", ".hlp".
std::string ReplaceExtension(const std::string& path, const std::string& extension);

std::string EscapeText(std::string_view text);
std::string UnescapeText(std::string_view text);
