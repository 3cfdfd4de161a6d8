// Message look-up in the language files.
#include "core/localisation.h"

#include "core/common.h"
#include "core/profile_file.h"
#include "core/system_settings.h"

#include <QFileInfo>

namespace vantoro {

QString languageFile(int language)
{
    return findFileNoCase(appDir(), language == LANGUAGE_ENGLISH ? QStringLiteral("langen.ini")
                                                                 : QStringLiteral("langcn.ini"));
}

QString expandLineBreaks(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("\\n"), QLatin1String("\r\n"));
    return out;
}

QString langText(const QString &section, const QString &key, int language, const QString &defaultText)
{
    if (language == LANGUAGE_CURRENT)
        language = sysSettings.languageIndex;
    const QString file = languageFile(language);
    if (!QFileInfo::exists(file))
        return defaultText;
    return expandLineBreaks(readIni(section, key, key, file));
}

QString formText(const QString &section, const QString &key, const QString &builtIn, int language)
{
    if (language == LANGUAGE_CURRENT)
        language = sysSettings.languageIndex;
    const QString text = readIni(section, key, QString(), languageFile(language));
    return text.isEmpty() ? builtIn : expandLineBreaks(text);
}

bool storeLanguage(int language)
{
    QString ini = sysSettings.iniPath;
    if (ini.isEmpty())
        ini = findFileNoCase(appDir(), QStringLiteral("VANTORO.INI"));
    return writeIni(QStringLiteral("Settings"), QStringLiteral("Language"), QString::number(language), ini);
}

} // namespace vantoro
