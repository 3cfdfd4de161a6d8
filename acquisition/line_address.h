// What the text naming a line means: a serial port (its number or a device
// path) or a gateway on the network, transparent or speaking Modbus TCP.
#pragma once

#include <QString>

namespace vantoro {

enum class LineKind { SerialNumber, SerialPath, Tcp, ModbusTcp, Invalid };

struct LineAddress
{
    LineKind kind = LineKind::Invalid;
    int portNumber = 0;   // SerialNumber: 1 = COM1
    QString devicePath;   // SerialPath
    QString host;         // Tcp, ModbusTcp: a name or an address, without brackets
    quint16 port = 0;
    QString error;        // Invalid: what is wrong, with the forms accepted

    bool isNetwork() const { return kind == LineKind::Tcp || kind == LineKind::ModbusTcp; }
};

inline constexpr const char *TCP_SCHEME = "tcp://";
inline constexpr const char *MODBUS_TCP_SCHEME = "modbus-tcp://";

// Accepts "3", "COM3", "/dev/ttyUSB0" (any absolute path), "tcp://HOST:PORT"
// and "modbus-tcp://HOST:PORT", HOST a name, an IPv4 address or an IPv6
// address in brackets.
LineAddress parseLineAddress(const QString &text);
// The address written back in its canonical form ("" for Invalid).
QString lineAddressText(const LineAddress &address);
// The forms accepted, for messages.
QString lineAddressForms();

// Whether the text is meant as a network address ("...://..."), right or wrong.
bool isNetworkLineText(const QString &text);
// For a port field: empty when `text` names no network line or a usable one
// for `protocol`; otherwise why not (a mistyped address, protocol 1 over
// Modbus TCP).
QString networkLineProblem(const QString &text, int protocol);

} // namespace vantoro
