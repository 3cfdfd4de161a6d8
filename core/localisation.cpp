// Message look-up in the language files.
#include "core/localisation.h"

#include "core/common.h"
#include "core/profile_file.h"
#include "core/system_settings.h"

#include <QFileInfo>
#include <QMutex>

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

namespace {

// The file of each language as found last, and the home it was found for:
// looked for again only when that changes or the file cannot be read, so a
// look-up costs one check of the file rather than three.
struct FoundLanguageFile
{
    QString home;
    QString path;
};

std::optional<QString> languageValue(const QString &section, const QString &key, const QString &fallback,
                                     int language)
{
    if (language == LANGUAGE_CURRENT)
        language = sysSettings.languageIndex;
    static FoundLanguageFile found[2];
    // Services look texts up on threads of their own too.
    static QMutex foundLock;
    const QMutexLocker locked(&foundLock);
    FoundLanguageFile &file = found[language == LANGUAGE_ENGLISH ? 1 : 0];
    const QString home = qEnvironmentVariable("VANTORO_HOME");
    if (!file.path.isEmpty() && file.home == home) {
        if (auto text = readIniIfReadable(section, key, fallback, file.path))
            return text;
    }
    file.home = home;
    file.path = languageFile(language);
    return readIniIfReadable(section, key, fallback, file.path);
}

} // namespace

QString langText(const QString &section, const QString &key, int language, const QString &defaultText)
{
    const auto text = languageValue(section, key, key, language);
    return text ? expandLineBreaks(*text) : defaultText;
}

QString formText(const QString &section, const QString &key, const QString &builtIn, int language)
{
    const QString text = languageValue(section, key, QString(), language).value_or(QString());
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
