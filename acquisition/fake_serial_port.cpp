// The in-memory serial port used by the tests.
#include "acquisition/fake_serial_port.h"

#include <QStringList>

namespace vantoro {

FakeSerialPort::FakeSerialPort()
{
    m_clock.start();
}

bool FakeSerialPort::open()
{
    if (!openError.isEmpty()) {
        m_error = openError;
        return false;
    }
    m_error.clear();
    m_open = true;
    m_sentSinceOpen.clear();
    ++m_openCount;
    return true;
}

void FakeSerialPort::close()
{
    m_open = false;
}

bool FakeSerialPort::setSettings(const QString &settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    bool baudOk = false;
    const int baud = parts.value(0).toInt(&baudOk);
    if (rejectSettings || parts.size() != 4 || !baudOk || baud <= 0) {
        m_error = QStringLiteral("Invalid port settings: %1").arg(settings);
        return false;
    }
    m_settings = settings;
    return true;
}

void FakeSerialPort::flush()
{
    deliverDue();
    m_input.clear();
    ++m_flushCount;
}

int FakeSerialPort::bytesWaiting()
{
    deliverDue();
    return m_open ? int(m_input.size()) : 0;
}

std::optional<quint8> FakeSerialPort::readByte()
{
    deliverDue();
    if (!m_open || m_input.isEmpty())
        return std::nullopt;
    const quint8 byte = quint8(m_input.at(0));
    m_input.remove(0, 1);
    return byte;
}

QByteArray FakeSerialPort::readAll()
{
    deliverDue();
    if (!m_open)
        return {};
    QByteArray all;
    all.swap(m_input);
    return all;
}

bool FakeSerialPort::write(const QByteArray &bytes)
{
    if (!m_open) {
        m_error = QStringLiteral("Port not open");
        return false;
    }
    if (!writeError.isEmpty()) {
        m_error = writeError;
        return false;
    }
    m_writes.append({bytes, m_clock.elapsed()});
    m_sentSinceOpen += bytes;
    if (device) {
        const QByteArray answer = device(m_sentSinceOpen);
        if (!answer.isEmpty())
            queueReply(answer, deviceDelayMs);
    }
    return true;
}

void FakeSerialPort::queueReply(const QByteArray &bytes, int afterMs)
{
    m_pending.append({bytes, m_clock.elapsed() + afterMs});
}

void FakeSerialPort::queueInPieces(const QByteArray &bytes, int pieceSize, int gapMs)
{
    const int step = qMax(1, pieceSize);
    for (int i = 0, n = 0; i < bytes.size(); i += step, ++n)
        queueReply(bytes.mid(i, step), n * gapMs);
}

QByteArray FakeSerialPort::written() const
{
    QByteArray all;
    for (const Write &w : m_writes)
        all += w.bytes;
    return all;
}

void FakeSerialPort::deliverDue()
{
    const qint64 now = m_clock.elapsed();
    while (!m_pending.isEmpty() && m_pending.first().dueMs <= now)
        m_input += m_pending.takeFirst().bytes;
}

} // namespace vantoro
