#include "app/qttranslation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

QString QtTranslationLocale(bool languageLoaded, const std::string& languageLocale)
{
    if (!languageLoaded)
        return QStringLiteral("ja");
    return QString::fromStdString(languageLocale);
}

bool InstallQtTranslation(QTranslator& translator, const QString& locale)
{
    if (locale.isEmpty())
        return false;
    // qtbase holds the standard buttons and dialogs; it is all the windows use.
    if (!translator.load(QLocale(locale), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    return QCoreApplication::installTranslator(&translator);
}
