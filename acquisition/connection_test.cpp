// One test poll.
#include "acquisition/connection_test.h"

#include "acquisition/frames.h"
#include "acquisition/serial_link.h"
#include "core/common.h"

#include <QElapsedTimer>

namespace vantoro {

namespace {

constexpr int WAIT_STEP_MS = 13;
constexpr int ADDRESSES = 256;

bool checksumGood(const QByteArray &reply, int protocol)
{
    if (protocol == 2) {
        const quint16 received = quint16(quint8(reply.at(31)) | (quint8(reply.at(32)) << 8));
        return frameCrc(reply.left(31)) == received;
    }
    if (quint8(reply.at(REPLY_BYTES - 1)) != FRAME_END)
        return false;
    quint32 sum = 0;
    for (int i = 2; i <= 29; ++i)
        sum += quint8(reply.at(i));
    return sum == quint32(quint8(reply.at(30)) | (quint8(reply.at(31)) << 8));
}

// The reply in the bytes received and the address it came from; a CRC
// reply starts with its address, so every address is looked for.
QByteArray findReply(const QByteArray &received, int protocol, int wanted, int *address)
{
    if (protocol != 2) {
        QByteArray buffer = received;
        if (!findHeadInBuffer(buffer, replyHeadV1()) || buffer.size() < REPLY_BYTES - 2)
            return {};
        const QByteArray reply = replyHeadV1() + buffer.left(REPLY_BYTES - 2);
        *address = quint8(reply.at(2));
        return reply;
    }
    for (int i = 0; i < ADDRESSES; ++i) {
        const int candidate = (wanted + i) % ADDRESSES;
        QByteArray buffer = received;
        const QByteArray head = replyHeadV2(quint8(candidate));
        if (findHeadInBuffer(buffer, head) && buffer.size() >= REPLY_BYTES - head.size()) {
            *address = candidate;
            return head + buffer.left(REPLY_BYTES - int(head.size()));
        }
    }
    return {};
}

} // namespace

ConnectionTestOutcome checkTestReply(const QByteArray &received, const ConnectionTestValues &values)
{
    ConnectionTestOutcome outcome;
    outcome.bytes = int(received.size());
    int address = -1;
    const QByteArray reply = findReply(received, values.protocol, values.address, &address);
    if (reply.size() < REPLY_BYTES) {
        outcome.result = received.isEmpty() ? PollResult::Timeout : PollResult::BadChecksum;
        return outcome;
    }
    outcome.replyAddress = address;
    if (!checksumGood(reply, values.protocol))
        outcome.result = PollResult::BadChecksum;
    else if (address != values.address)
        outcome.result = PollResult::WrongAddress;
    else
        outcome.result = PollResult::Ok;
    return outcome;
}

ConnectionTestOutcome testConnection(SerialPort &port, const ConnectionTestValues &values)
{
    ConnectionTestOutcome outcome;
    port.close();
    const quint8 address = quint8(values.address);
    const QByteArray data(POLL_DATA_BYTES, '\0');
    const bool sent = port.setSettings(commSettingsText(values.comSettings, true)) && port.open()
        && (values.protocol == 2 ? sendCrcFrame(port, address, data, FUNCTION_POLL)
                                 : sendPollV1(port, address, data, POLL_COMMAND_V1));
    if (!sent || !port.isOpen()) {
        outcome.result = PollResult::SendError;
        outcome.portError = port.errorText();
        port.close();
        return outcome;
    }
    // Waits like a poll: the window keeps running, the last byte ends it.
    QByteArray received;
    waitUntil(
        [&] {
            received += port.readAll();
            return !port.isOpen() || received.size() >= REPLY_BYTES;
        },
        truncatedInt(values.timeoutSeconds * 1000.0), [&port](int) { port.waitForInput(WAIT_STEP_MS); });
    received += port.readAll();
    // A line lost during the wait (a gateway gone, a connect refused) says so
    // rather than passing for a silent device.
    const bool lost = !port.isOpen() && !port.errorText().isEmpty() && received.size() < REPLY_BYTES;
    port.close();
    if (lost) {
        outcome.result = PollResult::SendError;
        outcome.portError = port.errorText();
        outcome.bytes = int(received.size());
        return outcome;
    }
    return checkTestReply(received, values);
}

} // namespace vantoro
