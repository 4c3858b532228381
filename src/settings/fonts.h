#pragma once
// The windows' fonts. The built-in face is a Windows font that Linux hosts
// rarely have, so each font asks for a list of families and Qt takes the
// first one present; the later ones render Japanese on common hosts.
#include <cstdint>
#include <string>

#include <QFont>

#include "settings/messages.h"

// "ＭＳ Ｐゴシック" 9 pt: the windows' font without a language file.
QFont BuiltInFont();

// face (tried first), then the Japanese fallbacks; pointSize as given.
// The character set has no meaning for Qt's Unicode text and is ignored.
QFont MakeFont(const std::string& face, std::uint8_t charset, int pointSize);

// The font a language file names (meaningful while it was loaded).
inline QFont MakeFont(const LanguageFontSpec& font)
{
    return MakeFont(font.name, font.charset, font.size);
}
