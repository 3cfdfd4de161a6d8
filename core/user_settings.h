// Per-user values of the station (debug mode, window position, operator
// password, port map, auto start), each declared once with key and default.
#pragma once

#include <QString>

namespace vantoro {

struct UserValue {
    const char *key;
    const char *defaultValue;
};

namespace UserKeys {
inline constexpr UserValue DebugMode{"DebugMode", "0"};
inline constexpr UserValue MainLeft{"MainLeft", "1000"};
inline constexpr UserValue MainTop{"MainTop", "1000"};
// A first start opens large enough for every view to show whole.
inline constexpr UserValue MainWidth{"MainWidth", "15600"};
inline constexpr UserValue MainHeight{"MainHeight", "11100"};
inline constexpr UserValue UserPass{"UserPass", ""};
inline constexpr UserValue AutoStartPolling{"AutoStartPolling", "0"};
} // namespace UserKeys

QString userValue(const UserValue &value);
// True only when the store was really written (it may be read-only or full).
bool setUserValue(const UserValue &value, const QString &text);

// The device behind serial port number n (1 = COM1): the per-user value
// "Ports/Com<n>" when set, else the platform's own name for it.
QString portDeviceName(int portNumber);
void setPortDeviceName(int portNumber, const QString &device);

} // namespace vantoro
