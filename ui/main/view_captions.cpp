// Captions of the views.
#include "ui/main/view_captions.h"

#include "core/localisation.h"
#include "core/system_settings.h"

namespace vantoro {

QString viewCaption(const QString &key, const char *english, const char *chinese)
{
    const bool inEnglish = sysSettings.languageIndex == LANGUAGE_ENGLISH;
    return formText(QStringLiteral("frmMain"), key, QString::fromUtf8(inEnglish ? english : chinese));
}

} // namespace vantoro
