// Choosing and wording the events a mail carries.
#include "mail/mail_events.h"

#include "core/localisation.h"

#include <QStringList>

namespace vantoro {

namespace {

struct Key { const char *section; const char *key; };

// Texts an event starts with.
const Key leadingKeys[] = {
    {"frmMain", "msgConnResumed"}, {"frmMain", "msgConnFail"}, {"frmMain", "msgConnFail0"},
    {"Application", "msgShutdownCountdown"}, {"Application", "msgUncleanStop"},
};
// Texts a fault entry carries after the parameter's name and value.
const Key faultKeys[] = {{"frmMain", "msgOutLimit"}, {"frmMain", "msgStatusError"}};
// Stored in English whatever the language.
const char *const fixedTexts[] = {"Power meter is not synchronized ."};

QString mailText(const char *section, const char *key, int language = LANGUAGE_CURRENT)
{
    return langText(QString::fromLatin1(section), QString::fromLatin1(key), language);
}

bool matchesIn(const QString &text, int language)
{
    for (const Key &k : leadingKeys) {
        const QString t = mailText(k.section, k.key, language);
        if (!t.isEmpty() && text.startsWith(t))
            return true;
    }
    for (const Key &k : faultKeys) {
        const QString t = mailText(k.section, k.key, language);
        if (!t.isEmpty() && text.contains(QLatin1Char('=')) && text.contains(t))
            return true;
    }
    return false;
}

} // namespace

bool isMailEvent(const QString &text)
{
    if (text.trimmed().isEmpty() || text.startsWith(QLatin1Char('*')))
        return false;
    for (const char *fixed : fixedTexts) {
        if (text == QLatin1String(fixed))
            return true;
    }
    // The backlog may have been stored before the language was switched.
    return matchesIn(text, LANGUAGE_CHINESE) || matchesIn(text, LANGUAGE_ENGLISH);
}

QString deviceLabel(const QString &deviceId, const QList<DeviceInfo> &devices)
{
    if (deviceId.isEmpty())
        return QStringLiteral("Vantoro");
    for (const DeviceInfo &d : devices) {
        if (d.id == deviceId && !d.name.trimmed().isEmpty())
            return QStringLiteral("%1 (%2)").arg(d.name.trimmed(), deviceId);
    }
    return deviceId;
}

AlertContent composeAlert(const QList<MailEvent> &events, int leftOut, const QList<DeviceInfo> &devices)
{
    // The devices in the order their first event came; a long list would
    // push the event out of the subject.
    constexpr int SUBJECT_DEVICES = 3;
    QStringList labels;
    for (const MailEvent &e : events) {
        const QString label = deviceLabel(e.deviceId, devices);
        if (!labels.contains(label))
            labels << label;
    }
    QString tag = labels.isEmpty() ? QStringLiteral("Vantoro") : labels.mid(0, SUBJECT_DEVICES).join(QStringLiteral(", "));
    if (labels.size() > SUBJECT_DEVICES)
        tag += QStringLiteral(" +%1").arg(labels.size() - SUBJECT_DEVICES);
    AlertContent c;
    c.subject = QStringLiteral("[%1] ").arg(tag);
    if (!events.isEmpty()) {
        c.subject += events.first().text;
        if (events.size() > 1)
            c.subject += QStringLiteral(" (+%1)").arg(events.size() - 1);
    }
    QStringList lines;
    lines << mailText("Application", "msgMailIntro").arg(labels.isEmpty() ? tag : labels.join(QStringLiteral(", ")))
          << QString();
    for (const MailEvent &e : events)
        lines << e.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  ")
                + deviceLabel(e.deviceId, devices) + QStringLiteral(": ") + e.text;
    if (leftOut > 0)
        lines << QString() << mailText("Application", "msgMailLeftOut").arg(leftOut).arg(MAIL_MAX_AGE_HOURS);
    c.body = lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    return c;
}

} // namespace vantoro
