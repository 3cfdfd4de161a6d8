// Language files and message look-up: 2 is English ("langen.ini"), any other
// value Chinese ("langcn.ini").
#pragma once

#include <QString>

namespace vantoro {

inline constexpr int LANGUAGE_CHINESE = 1;
inline constexpr int LANGUAGE_ENGLISH = 2;
inline constexpr int LANGUAGE_CURRENT = -1;

QString languageFile(int language);
// Replaces the two characters "\n" of a language text by a line break.
QString expandLineBreaks(const QString &text);
// The text of `key` in `section`; the key itself when the file lacks it, and
// `defaultText` when the language file does not exist.
QString langText(const QString &section, const QString &key, int language = LANGUAGE_CURRENT,
                 const QString &defaultText = QString());
// The text of `key` in `section` of the language file, or `builtIn` when
// the file or the key is missing (never the key itself).
QString formText(const QString &section, const QString &key, const QString &builtIn,
                 int language = LANGUAGE_CURRENT);
// Remembers the language in the INI file, as every switch does.
bool storeLanguage(int language);

} // namespace vantoro
