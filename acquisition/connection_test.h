// The settings dialog's "test connection": one poll with values not yet
// saved, on a port object of its own, decoded into nothing. It tells the
// operator whether a device answers before the settings are stored.
#pragma once

#include "acquisition/serial_port.h"
#include "core/station_bus.h"

#include <QString>

namespace vantoro {

struct ConnectionTestValues
{
    QString comSettings = QStringLiteral("9600,N,8,1");
    int protocol = 1;          // 2: CRC frames
    int address = 1;
    double timeoutSeconds = 1;
};

struct ConnectionTestOutcome
{
    // Ok (a good reply from the address), WrongAddress, BadChecksum (a reply
    // that does not check out), Timeout (no reply) or SendError (the port
    // could not be opened or written).
    PollResult result = PollResult::Timeout;
    int replyAddress = -1;
    int bytes = 0;             // bytes received
    QString portError;
};

// The port must be closed and set to its device; it is closed again after.
ConnectionTestOutcome testConnection(SerialPort &port, const ConnectionTestValues &values);

// A reply's check: what `testConnection` concludes from the bytes received.
ConnectionTestOutcome checkTestReply(const QByteArray &received, const ConnectionTestValues &values);

} // namespace vantoro
