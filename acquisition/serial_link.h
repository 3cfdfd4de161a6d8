// Preparing the serial port, sending the three request frames and finding the
// head of a reply in the receive buffer.
#pragma once

#include "acquisition/serial_port.h"

#include <QByteArray>
#include <QString>

namespace vantoro {

inline constexpr int WAKE_UP_PAUSE_MS = 10;
inline constexpr int SET_FRAME_BYTE_PAUSE_MS = 13;

// The settings text the port is given: the leading number of `settingsText`,
// the parity letter ("N" stays, anything else becomes "M" with `markParity`,
// "S" without), then ",8,1".
QString commSettingsText(const QString &settingsText, bool markParity);

// Closes the port and sets it up for one exchange; it stays closed. Errors go
// to reportError with "Set Communication port com<n> ".
bool setupCommPort(SerialPort &port, const QString &settingsText, int portNumber, bool markParity);
// The same for a port that may be held open: an open port already on that
// number and those settings is kept and only flushed, so holding it open
// spares the reopening; any other is set up afresh.
bool prepareCommPort(SerialPort &port, const QString &settingsText, int portNumber, bool markParity);

// The senders open the port when needed and write one byte at a time. A quit
// in progress stops a frame part-way and still counts as sent. Errors go to
// reportError with "Send command code".
bool sendSetFrame(SerialPort &port, quint8 header1, const QByteArray &data, quint8 header2);
// `data` is accepted for symmetry with the other senders but not sent.
bool sendPollV1(SerialPort &port, quint8 address, const QByteArray &data, quint8 command);
bool sendCrcFrame(SerialPort &port, quint8 address, const QByteArray &data, quint8 function);

// Reads the port byte by byte up to and including the first `head`; true when
// found. The last byte waiting is never examined, and a mismatching byte is
// dropped without being compared with the first head byte again.
// `byteBefore`, when given, receives the byte read just before the head (0
// when the head came first); a search for it also compares a mismatching
// byte with the head's first byte again, as that byte may begin the head.
bool findhead(SerialPort &port, const QByteArray &head, quint8 *byteBefore = nullptr);

} // namespace vantoro
