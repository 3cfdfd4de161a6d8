// Port preparation, the request senders and the head search.
#include "acquisition/serial_link.h"

#include "acquisition/frames.h"
#include "core/common.h"
#include "events/event_log.h"

#include <QThread>

namespace vantoro {

namespace {

const char *const sendErrorContext = "Send command code";

void reportSendError(const SerialPort &port)
{
    reportError(QString::fromLatin1(sendErrorContext), port.errorText());
}

bool openForSending(SerialPort &port)
{
    if (port.isOpen() || port.open())
        return true;
    reportSendError(port);
    return false;
}

bool writeByte(SerialPort &port, char byte)
{
    if (port.write(QByteArray(1, byte)))
        return true;
    reportSendError(port);
    return false;
}

// Writes a frame byte by byte, back to back.
bool sendFrame(SerialPort &port, const QByteArray &frame)
{
    if (!openForSending(port))
        return false;
    for (char byte : frame) {
        if (quitRequested)
            return true;
        if (!writeByte(port, byte))
            return false;
    }
    return true;
}

} // namespace

QString commSettingsText(const QString &settingsText, bool markParity)
{
    QString parity = settingsText.right(5).left(1).toUpper();
    if (parity != QLatin1String("N"))
        parity = markParity ? QStringLiteral("M") : QStringLiteral("S");
    return QString::number(leadingNumber(settingsText), 'g', 15) + QLatin1Char(',') + parity
        + QLatin1String(",8,1");
}

bool setupCommPort(SerialPort &port, const QString &settingsText, int portNumber, bool markParity)
{
    if (port.isOpen())
        port.close();
    port.setPortNumber(portNumber);
    if (!port.setSettings(commSettingsText(settingsText, markParity))) {
        reportError(QStringLiteral("Set Communication port com%1 ").arg(portNumber), port.errorText());
        return false;
    }
    port.flush();
    return true;
}

bool prepareCommPort(SerialPort &port, const QString &settingsText, int portNumber, bool markParity)
{
    if (port.isOpen() && port.portNumber() == portNumber
        && port.settings() == commSettingsText(settingsText, markParity)) {
        port.flush();
        return true;
    }
    return setupCommPort(port, settingsText, portNumber, markParity);
}

bool sendSetFrame(SerialPort &port, quint8 header1, const QByteArray &data, quint8 header2)
{
    if (!openForSending(port))
        return false;
    if (quitRequested)
        return true;
    if (!writeByte(port, char(WAKE_UP_BYTE)))
        return false;
    if (quitRequested)
        return true;
    // The device needs a moment after the wake-up byte, and a slow pace after it.
    pauseMs(WAKE_UP_PAUSE_MS);
    if (quitRequested)
        return true;
    for (char byte : buildSetFrame(header1, data, header2)) {
        if (!writeByte(port, byte))
            return false;
        if (quitRequested)
            return true;
        QThread::msleep(SET_FRAME_BYTE_PAUSE_MS);
    }
    return true;
}

bool sendPollV1(SerialPort &port, quint8 address, const QByteArray &data, quint8 command)
{
    Q_UNUSED(data);
    return sendFrame(port, buildPollV1(address, command));
}

bool sendCrcFrame(SerialPort &port, quint8 address, const QByteArray &data, quint8 function)
{
    return sendFrame(port, buildCrcFrame(address, data, function));
}

bool findhead(SerialPort &port, const QByteArray &head, quint8 *byteBefore)
{
    if (!port.isOpen()) {
        logStatus(QStringLiteral("*findhead:port closed!"));
        return false;
    }
    if (head.isEmpty())
        return false;
    int next = 0;
    quint8 before = 0;
    quint8 previous = 0;
    while (port.bytesWaiting() > 1) {
        const std::optional<quint8> byte = port.readByte();
        if (!byte)
            return false;
        if (*byte == quint8(head.at(next))) {
            if (next == 0)
                before = previous;
            if (++next == head.size()) {
                if (byteBefore)
                    *byteBefore = before;
                return true;
            }
        } else if (byteBefore && *byte == quint8(head.at(0))) {
            // Searching behind an address: the address may equal the head's
            // first byte (device 3 and function 3), so a mismatch starts again here.
            before = previous;
            next = 1;
        } else {
            next = 0;
        }
        previous = *byte;
    }
    return false;
}

} // namespace vantoro
