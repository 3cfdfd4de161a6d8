// Captions of the views.
#include "ui/main/view_captions.h"

#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/system_settings.h"

namespace vantoro {

QString viewCaption(const QString &key, const char *english, const char *chinese)
{
    const int language = sysSettings.languageIndex;
    const QString text = readIni(QStringLiteral("frmMain"), key, QString(), languageFile(language));
    if (!text.isEmpty())
        return expandLineBreaks(text);
    return QString::fromUtf8(language == LANGUAGE_ENGLISH ? english : chinese);
}

} // namespace vantoro
