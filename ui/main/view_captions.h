// Captions of the views that the language files may override: the text of
// `key` in the main window's section of the current language file, else the
// built-in text of that language.
#pragma once

#include <QString>

namespace vantoro {

QString viewCaption(const QString &key, const char *english, const char *chinese);

} // namespace vantoro
