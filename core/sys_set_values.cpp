// Field conversions of the system settings dialog.
#include "core/sys_set_values.h"

#include "core/common.h"
#include "core/system_settings.h"
#include "core/user_settings.h"

#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>

namespace vantoro {

QString rateTextFromSettings(const QString &comSettings)
{
    return settingNumberText(leadingNumber(comSettings));
}

QString parityFromSettings(const QString &comSettings)
{
    const QString letter = comSettings.right(5).left(1).toUpper();
    if (letter.size() == 1 && QString::fromLatin1(PARITY_LETTERS).contains(letter))
        return letter;
    return QStringLiteral("N");
}

QString comSettingsText(const QString &rate, const QString &parity)
{
    return rate + QLatin1Char(',') + parity + QStringLiteral(",8,1");
}

QString settingNumberText(double value)
{
    if (std::isfinite(value) && value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(qint64(value));
    // Seven significant digits: what a single-precision value really holds.
    return QString::number(value, 'g', 7);
}

std::optional<float> queryIntervalFromText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return float(value);
}

std::optional<double> standbyPercentFromText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value) || value < 0 || value > STANDBY_PERCENT_MAX)
        return std::nullopt;
    return value;
}

std::optional<float> timeOutFromText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !(value >= TIMEOUT_MIN_SECONDS && value <= TIMEOUT_MAX_SECONDS))
        return std::nullopt;
    return float(value);
}

std::optional<int> retriesFromText(const QString &text)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const qint64 retries = roundHalfEven(value);
    if (retries < RETRIES_MIN || retries > RETRIES_MAX)
        return std::nullopt;
    return int(retries);
}

int wholeNumberFromText(const QString &text)
{
    const qint64 value = roundHalfEven(leadingNumber(text));
    return int(std::clamp<qint64>(value, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

QList<PortEntry> portEntries(int currentPort, const QStringList &systemPorts)
{
    QList<PortEntry> entries;
    const int listed = qMax(LISTED_COM_PORTS, currentPort);
    QStringList shown;
    for (int n = 1; n <= listed; ++n) {
        const QString device = portDeviceName(n);
        entries << PortEntry{n, device, false, {}};
        shown << device;
    }
    QStringList unlisted;
    for (const QString &port : systemPorts) {
        if (!shown.contains(port) && !unlisted.contains(port))
            unlisted << port;
    }
    // Numbers past the list keep a mapping they already have to a present
    // port; the other present ports take the free numbers in turn.
    int n = listed;
    while (!unlisted.isEmpty()) {
        ++n;
        const QString mapped = portDeviceName(n);
        if (unlisted.contains(mapped)) {
            unlisted.removeOne(mapped);
            entries << PortEntry{n, mapped, false, {}};
        } else {
            entries << PortEntry{n, unlisted.takeFirst(), true, {}};
        }
    }
    return entries;
}

QString portEntryText(const PortEntry &entry)
{
    // Elsewhere a port is known by its device path; its number is only how
    // the settings store it.
#ifdef Q_OS_WIN
    const QString text = QStringLiteral("Com%1  (%2)").arg(entry.number).arg(entry.device);
#else
    const QString text = entry.device.isEmpty() ? QStringLiteral("Com%1").arg(entry.number) : entry.device;
#endif
    return entry.description.isEmpty() ? text : text + QStringLiteral("  ") + entry.description;
}

QList<PortEntry> shownPortEntries(int currentPort, const QStringList &systemPorts,
                                  const QHash<QString, QString> &descriptions)
{
    QList<PortEntry> shown;
    for (PortEntry entry : portEntries(currentPort, systemPorts)) {
        if (entry.number != currentPort && !systemPorts.contains(entry.device))
            continue;
        entry.description = descriptions.value(entry.device);
        shown << entry;
    }
    return shown;
}

PortEntry portChoice(const QString &text, const QList<PortEntry> &entries, int currentPort)
{
    const QString typed = text.trimmed();
    if (typed.isEmpty())
        return {};
    for (const PortEntry &entry : entries) {
        if (portEntryText(entry) == typed || entry.device == typed)
            return entry;
    }
    static const QRegularExpression comNumber(QStringLiteral("^com(\\d{1,3})(\\s|$)"),
                                              QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comNumber.match(typed);
    // The stored number shown as it was (even one no list holds) is kept
    // unchanged, never taken for a device path.
    if (match.hasMatch() && match.captured(1).toInt() == currentPort && currentPort < 1)
        return PortEntry{currentPort, QString(), false, {}};
    if (match.hasMatch() && match.captured(1).toInt() >= 1) {
        const int number = match.captured(1).toInt();
        for (const PortEntry &entry : entries) {
            if (entry.number == number)
                return entry;
        }
        return PortEntry{number, portDeviceName(number), false, {}};
    }
    return PortEntry{qMax(1, currentPort), typed, true, {}};
}

} // namespace vantoro
