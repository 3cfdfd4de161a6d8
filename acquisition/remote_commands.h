// The data bytes of the remote control commands and of the four remote
// settings, and the BCD coding of the device clock.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QTime>
#include <array>
#include <optional>

namespace vantoro {

// Control commands go to address 1 whatever the device address is.
inline constexpr quint8 REMOTE_CONTROL_ADDRESS = 1;
inline constexpr int REMOTE_COMMAND_COUNT = 12;
inline constexpr int CONTROL_DATA_BYTES = 8;
inline constexpr quint8 COMMAND_START = 0xCF;
inline constexpr quint8 COMMAND_STOP = 0xCE;

// The first header byte of every set frame.
inline constexpr quint8 SET_HEADER1 = 1;
inline constexpr int REMOTE_SETTING_COUNT = 4;

// Index of a setting = index of its button in the settings dialog.
enum RemoteSetting : int {
    SETTING_OUTPUT_FREQUENCY = 0,
    SETTING_DELAYED_SHUTDOWN = 1,
    SETTING_DEVICE_CLOCK = 2,
    SETTING_FORCED_RUN = 3,
};

// Command byte of the control command at `index` (0 "start", 1 "stop"; the
// others, and unknown indexes, have no code of their own and send 0x00).
quint8 remoteCommandByte(int index);
// The 8 data bytes of a control command: its byte, then seven 0x00.
QByteArray controlCommandData(int index);

// The command byte of every option, as an installer may set them for a
// device that has codes for the options 2 to 11.
using RemoteCommandBytes = std::array<quint8, REMOTE_COMMAND_COUNT>;
inline constexpr const char *REMOTE_COMMANDS_SECTION = "RemoteCommands";
inline constexpr int FIRST_CONFIGURABLE_COMMAND = 2;
// Keys "Command2" .. "Command11" of section [RemoteCommands] in `iniFile`,
// each one hexadecimal byte ("5A" or "0x5A"); a missing key keeps the
// default. A bad entry is ignored and described in `problems`.
RemoteCommandBytes readRemoteCommandBytes(const QString &iniFile, QStringList *problems = nullptr);
QByteArray controlCommandData(int index, const RemoteCommandBytes &bytes);

// The second header byte of a setting (0 for an unknown index).
quint8 settingCommand(int setting);

// Two decimal digits as two hexadecimal digits: 59 becomes 0x59. Values are
// taken modulo 100.
quint8 toBcd(int value);

// The ranges the device accepts, checked before a setting is sent.
inline constexpr int OUTPUT_FREQUENCY_MIN_HZ = 40;
inline constexpr int OUTPUT_FREQUENCY_MAX_HZ = 70;
// 0 is the code that withdraws a delayed shutdown, so a delay is at least 1 s.
inline constexpr int SHUTDOWN_DELAY_MIN_SECONDS = 1;
inline constexpr int SHUTDOWN_DELAY_MAX_SECONDS = 0xFFFF;
// The operator's text as a whole number (halves to even) when it is a
// number and lies in min..max; nullopt otherwise.
std::optional<quint16> settingInRange(const QString &text, int min, int max);

// The whole-number value of an operator's text (its leading number, halves
// to even), limited to 0..65535.
quint16 settingWord(const QString &text);

// 7 data bytes: the value low byte, high byte, then five 0x00.
QByteArray wordSettingData(quint16 value);
QByteArray outputFrequencyData(const QString &text);
// The delay in seconds, or 00 00 when the delayed shutdown is withdrawn.
QByteArray delayedShutdownData(const QString &text, bool withdraw);
// Second, minute, hour, day, month, year % 100, year / 100, all in BCD.
QByteArray deviceClockData(const QDate &date, const QTime &time);
QByteArray forcedRunData(bool forced);

} // namespace vantoro
