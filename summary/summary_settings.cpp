// Summary settings: from the record, checked.
#include "summary/summary_settings.h"

#include "core/localisation.h"
#include "core/system_settings.h"

#include <QRegularExpression>

namespace vantoro {

std::optional<QTime> parseSummaryTime(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^([01]?\\d|2[0-3]):([0-5]\\d)$"));
    const auto m = form.match(text.trimmed());
    if (!m.hasMatch())
        return std::nullopt;
    return QTime(m.captured(1).toInt(), m.captured(2).toInt());
}

QString validateSummarySettings(const SummarySettingsText &summary, const MailSettingsText &mail)
{
    auto text = [](const char *key) { return langText(QStringLiteral("Summary"), QString::fromLatin1(key)).trimmed(); };
    if (!parseSummaryTime(summary.time))
        return text("msgBadTime").arg(summary.time.trimmed());
    if (summary.byMail) {
        MailSettingsText server = mail;
        server.enabled = true;
        const QString problem = validateMailSettings(server);
        if (!problem.isEmpty())
            return text("msgMailNeeded") + QLatin1Char(' ') + problem;
    }
    return {};
}

SummarySettingsText storedSummarySettings()
{
    const SystemSettings &s = sysSettings;
    return {s.SummaryTime, s.SummaryMail != 0, s.SummaryNotice != 0};
}

} // namespace vantoro
