#pragma once
// The toolkit's own texts (standard buttons, file dialogs) follow the
// language of the program's texts.
#include <string>

#include <QString>

class QTranslator;

// Japanese for the built-in table; with a language file the locale it names,
// or none (English), since its texts replace the Japanese ones.
QString QtTranslationLocale(bool languageLoaded, const std::string& languageLocale);

// Loads Qt's translation for locale into translator and installs it; false
// when locale is empty or no translation for it is installed.
bool InstallQtTranslation(QTranslator& translator, const QString& locale);
