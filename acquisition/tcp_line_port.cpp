// The network line.
#include "acquisition/tcp_line_port.h"

#include "acquisition/frames.h"
#include "acquisition/modbus_tcp.h"
#include "core/common.h"
#include "events/event_log.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace vantoro {

namespace {

// Bytes written further apart than this were paced on purpose (the set
// frame's slow bytes); they go out as they come, not gathered.
constexpr int PACED_WRITE_GAP_MS = 2;
constexpr int REPLY_PDU_BYTES = REPLY_BYTES - 3; // without address and CRC

} // namespace

TcpLinePort::TcpLinePort(const LineAddress &address)
    : m_address(address)
    , m_modbus(address.kind == LineKind::ModbusTcp)
{
    m_pushTimer.setSingleShot(true);
    m_pushTimer.setInterval(0);
    QObject::connect(&m_pushTimer, &QTimer::timeout, &m_socket, [this] { sendPending(); });
    m_connectTimer.setSingleShot(true);
    m_connectTimer.setInterval(CONNECT_TIMEOUT_MS);
    QObject::connect(&m_connectTimer, &QTimer::timeout, &m_socket,
                     [this] { lose(QStringLiteral("no connection after %1 s").arg(CONNECT_TIMEOUT_MS / 1000), true); });
    QObject::connect(&m_socket, &QTcpSocket::connected, &m_socket, [this] { onConnected(); });
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &m_socket, [this] { onSocketError(); });
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &m_socket, [this] { pullIn(); });
}

TcpLinePort::~TcpLinePort()
{
    m_state = State::Closed;
    m_socket.abort();
}

QString TcpLinePort::name() const
{
    return lineAddressText(m_address);
}

int TcpLinePort::reconnectDelayMs() const
{
    if (m_backoffMs == 0 || !m_failedAt.isValid())
        return 0;
    return int(std::max<qint64>(0, m_backoffMs - m_failedAt.elapsed()));
}

bool TcpLinePort::open()
{
    if (m_state != State::Closed)
        return true;
    if (const int wait = reconnectDelayMs(); wait > 0) {
        m_error = QStringLiteral("%1: %2; next try in %3 s").arg(name(), m_failure).arg((wait + 999) / 1000);
        return false;
    }
    m_error.clear();
    m_input.clear();
    m_output.clear();
    m_frame.clear();
    m_received.clear();
    m_awaiting = false;
    m_state = State::Connecting;
    m_connectTimer.start();
    // The name is looked up on Qt's resolver thread; nothing here waits for it.
    m_socket.connectToHost(m_address.host, m_address.port);
    return m_state != State::Closed;
}

void TcpLinePort::close()
{
    if (m_state == State::Closed)
        return;
    // A connect still pending when the exchange gives up has failed: a
    // gateway that swallows connects is not tried again at once.
    if (m_state == State::Connecting) {
        lose(QStringLiteral("no connection within the reply time"), true);
        return;
    }
    m_state = State::Closed;
    m_connectTimer.stop();
    m_pushTimer.stop();
    m_socket.abort();
    m_input.clear();
    m_output.clear();
}

bool TcpLinePort::setSettings(const QString &settings)
{
    m_settings = settings;
    return true;
}

void TcpLinePort::onConnected()
{
    m_connectTimer.stop();
    if (m_state != State::Connecting)
        return;
    m_state = State::Connected;
    m_backoffMs = 0;
    // Requests are small and answered at once: no waiting to fill a segment.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    sendPending();
}

void TcpLinePort::onSocketError()
{
    // A look for bytes that finds none reports a time-out; that is no fault.
    if (m_state == State::Closed || m_socket.error() == QAbstractSocket::SocketTimeoutError)
        return;
    const bool connectFailed = m_state == State::Connecting;
    if (m_socket.error() == QAbstractSocket::RemoteHostClosedError)
        lose(QStringLiteral("the gateway closed the connection"), connectFailed);
    else
        lose(m_socket.errorString(), connectFailed);
}

void TcpLinePort::lose(const QString &reason, bool connectFailed)
{
    if (m_state == State::Closed)
        return;
    m_state = State::Closed;
    m_connectTimer.stop();
    m_pushTimer.stop();
    m_socket.abort();
    m_input.clear();
    m_output.clear();
    m_error = QStringLiteral("%1: %2").arg(name(), reason);
    if (connectFailed) {
        m_failure = reason;
        m_backoffMs = m_backoffMs == 0 ? RECONNECT_FIRST_MS : std::min(2 * m_backoffMs, RECONNECT_MAX_MS);
        m_failedAt.start();
    }
    logStatus(QStringLiteral("Network line %1").arg(m_error));
}

void TcpLinePort::sendPending()
{
    if (m_state != State::Connected || m_output.isEmpty())
        return;
    const QByteArray bytes = m_output;
    m_output.clear();
    if (m_socket.write(bytes) != bytes.size()) {
        lose(m_socket.errorString(), false);
        return;
    }
    m_socket.flush();
}

void TcpLinePort::pullIn()
{
    if (m_state != State::Connected)
        return;
    sendPending();
    // Only a standing connection is polled: waiting on one still being made
    // would look its name up on this thread.
    if (m_socket.state() == QAbstractSocket::ConnectedState && m_socket.bytesAvailable() == 0)
        m_socket.waitForReadyRead(0);
    if (m_state != State::Connected)
        return;
    const QByteArray bytes = m_socket.readAll();
    if (!m_modbus) {
        m_input += bytes;
        return;
    }
    m_received += bytes;
    while (m_awaiting && !m_received.isEmpty()) {
        const MbapReply reply = takeMbapReply(m_received, m_transaction, m_unit, REPLY_PDU_BYTES);
        if (reply.status == MbapReply::Status::Incomplete)
            return;
        if (reply.status == MbapReply::Status::Bad) {
            // The stream cannot be trusted past a header that does not fit.
            lose(reply.error, false);
            return;
        }
        m_awaiting = false;
        if (reply.status == MbapReply::Status::Exception)
            logStatus(QStringLiteral("Network line %1: %2").arg(name(), reply.error));
        m_input += reply.rtu;
    }
    if (!m_awaiting && !m_received.isEmpty()) {
        logDetail(QStringLiteral("Network line %1: %2 bytes nobody asked for dropped").arg(name()).arg(m_received.size()));
        m_received.clear();
    }
}

void TcpLinePort::flush()
{
    pullIn();
    m_input.clear();
    m_output.clear();
    m_frame.clear();
    m_received.clear();
    m_awaiting = false;
}

int TcpLinePort::bytesWaiting()
{
    pullIn();
    return int(m_input.size());
}

std::optional<quint8> TcpLinePort::readByte()
{
    if (m_input.isEmpty())
        pullIn();
    if (m_input.isEmpty())
        return std::nullopt;
    const quint8 byte = quint8(m_input.at(0));
    m_input.remove(0, 1);
    return byte;
}

QByteArray TcpLinePort::readAll()
{
    pullIn();
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

bool TcpLinePort::write(const QByteArray &bytes)
{
    if (m_state == State::Closed) {
        m_error = m_error.isEmpty() ? QStringLiteral("Port not open") : m_error;
        return false;
    }
    if (m_lastWrite.isValid() && m_lastWrite.elapsed() >= PACED_WRITE_GAP_MS)
        sendPending();
    m_lastWrite.start();
    if (!m_modbus) {
        m_output += bytes;
    } else {
        m_frame += bytes;
        for (;;) {
            const int length = crcFrameLength(m_frame);
            if (length < 0) {
                m_frame.clear();
                m_error = QStringLiteral("%1: Modbus TCP carries protocol 2 (CRC frames) only").arg(name());
                return false;
            }
            if (length == 0 || m_frame.size() < length)
                break;
            const quint16 transaction = quint16(m_transaction + 1);
            QString error;
            const auto request = mbapRequest(m_frame.left(length), transaction, &error);
            if (!request) {
                m_frame.clear();
                m_error = QStringLiteral("%1: %2").arg(name(), error);
                return false;
            }
            m_transaction = transaction;
            m_unit = quint8(m_frame.at(0));
            m_awaiting = true;
            // What came before this request answers none of it.
            m_received.clear();
            m_frame.remove(0, length);
            m_output += *request;
        }
    }
    m_pushTimer.start();
    return true;
}

void TcpLinePort::waitForInput(int milliseconds)
{
    if (m_state == State::Closed || !QCoreApplication::instance()) {
        SerialPort::waitForInput(milliseconds);
        return;
    }
    sendPending();
    // The window keeps running; the first bytes, the connection or its loss end the wait.
    QEventLoop loop;
    QTimer::singleShot(qMax(0, milliseconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QObject::connect(&m_socket, &QTcpSocket::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(&m_socket, &QTcpSocket::connected, &loop, &QEventLoop::quit);
    QObject::connect(&m_socket, &QTcpSocket::errorOccurred, &loop, &QEventLoop::quit);
    QObject::connect(&m_connectTimer, &QTimer::timeout, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace vantoro
