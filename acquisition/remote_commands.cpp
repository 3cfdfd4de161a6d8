// Data bytes of the remote commands and settings.
#include "acquisition/remote_commands.h"

#include "acquisition/frames.h"
#include "core/common.h"
#include "core/profile_file.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace vantoro {

quint8 remoteCommandByte(int index)
{
    switch (index) {
    case 0:
        return COMMAND_START;
    case 1:
        return COMMAND_STOP;
    default:
        return 0x00;
    }
}

QByteArray controlCommandData(int index)
{
    QByteArray data(CONTROL_DATA_BYTES, '\0');
    data[0] = char(remoteCommandByte(index));
    return data;
}

RemoteCommandBytes readRemoteCommandBytes(const QString &iniFile, QStringList *problems)
{
    RemoteCommandBytes bytes{};
    for (int i = 0; i < REMOTE_COMMAND_COUNT; ++i)
        bytes[size_t(i)] = remoteCommandByte(i);
    const QString section = QString::fromLatin1(REMOTE_COMMANDS_SECTION);
    for (int i = FIRST_CONFIGURABLE_COMMAND; i < REMOTE_COMMAND_COUNT; ++i) {
        const QString key = QStringLiteral("Command%1").arg(i);
        const QString text = readIni(section, key, QString(), iniFile);
        if (text.isEmpty())
            continue;
        QString digits = text;
        if (digits.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            digits = digits.mid(2);
        bool ok = false;
        const uint value = digits.toUInt(&ok, 16);
        if (ok && !digits.isEmpty() && digits.size() <= 2 && !digits.startsWith(QLatin1Char('+'))
            && !digits.startsWith(QLatin1Char('-'))) {
            bytes[size_t(i)] = quint8(value);
        } else if (problems) {
            *problems << QStringLiteral("[%1] %2=%3 is not one hexadecimal byte (such as 5A); 0x%4 is sent instead.")
                             .arg(section, key, text)
                             .arg(int(bytes[size_t(i)]), 2, 16, QLatin1Char('0'));
        }
    }
    return bytes;
}

QByteArray controlCommandData(int index, const RemoteCommandBytes &bytes)
{
    QByteArray data(CONTROL_DATA_BYTES, '\0');
    if (index >= 0 && index < REMOTE_COMMAND_COUNT)
        data[0] = char(bytes[size_t(index)]);
    return data;
}

std::optional<quint16> settingInRange(const QString &text, int min, int max)
{
    bool ok = false;
    const double value = QLocale::c().toDouble(text.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    const qint64 whole = roundHalfEven(value);
    if (whole < min || whole > max || whole < 0 || whole > 0xFFFF)
        return std::nullopt;
    return quint16(whole);
}

quint8 settingCommand(int setting)
{
    switch (setting) {
    case SETTING_OUTPUT_FREQUENCY:
        return 0x0B;
    case SETTING_DELAYED_SHUTDOWN:
        return 0x05;
    case SETTING_DEVICE_CLOCK:
        return 0x0F;
    case SETTING_FORCED_RUN:
        return 0x0C;
    default:
        return 0x00;
    }
}

quint8 toBcd(int value)
{
    const int v = ((value % 100) + 100) % 100;
    return quint8(((v / 10) << 4) | (v % 10));
}

quint16 settingWord(const QString &text)
{
    const qint64 value = roundHalfEven(leadingNumber(text));
    return quint16(std::clamp<qint64>(value, 0, 0xFFFF));
}

QByteArray wordSettingData(quint16 value)
{
    QByteArray data(SET_FRAME_DATA_BYTES, '\0');
    data[0] = char(value & 0xFF);
    data[1] = char(value >> 8);
    return data;
}

QByteArray outputFrequencyData(const QString &text)
{
    return wordSettingData(settingWord(text));
}

QByteArray delayedShutdownData(const QString &text, bool withdraw)
{
    return wordSettingData(withdraw ? 0 : settingWord(text));
}

QByteArray deviceClockData(const QDate &date, const QTime &time)
{
    QByteArray data(SET_FRAME_DATA_BYTES, '\0');
    data[0] = char(toBcd(time.second()));
    data[1] = char(toBcd(time.minute()));
    data[2] = char(toBcd(time.hour()));
    data[3] = char(toBcd(date.day()));
    data[4] = char(toBcd(date.month()));
    data[5] = char(toBcd(date.year() % 100));
    data[6] = char(toBcd(date.year() / 100));
    return data;
}

QByteArray forcedRunData(bool forced)
{
    QByteArray data(SET_FRAME_DATA_BYTES, '\0');
    data[0] = char(forced ? 0x01 : 0x00);
    return data;
}

} // namespace vantoro
