// Data bytes of the remote commands and settings.
#include "acquisition/remote_commands.h"

#include "acquisition/frames.h"
#include "core/common.h"

#include <algorithm>

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
