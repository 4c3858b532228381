#include "settings/fonts.h"

#include <QStringList>

namespace {

QStringList JapaneseFallbacks()
{
    return {QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"), QStringLiteral("Noto Sans CJK JP")};
}

} // namespace

QFont BuiltInFont()
{
    QFont font;
    QStringList families{QStringLiteral("ＭＳ Ｐゴシック")};
    families += JapaneseFallbacks();
    font.setFamilies(families);
    font.setPointSize(9);
    return font;
}

QFont MakeFont(const std::string& face, std::uint8_t /*charset*/, int pointSize)
{
    QFont font;
    QStringList families;
    if (!face.empty())
        families << QString::fromStdString(face);
    families += JapaneseFallbacks();
    font.setFamilies(families);
    // A size of 0 or less is not a font size; Qt would warn and keep its own.
    if (pointSize > 0)
        font.setPointSize(pointSize);
    return font;
}
