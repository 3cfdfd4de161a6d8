// QSerialPort behind the station's port interface.
#include "acquisition/qt_serial_port.h"

#include "core/user_settings.h"
#include "events/event_log.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>

namespace vantoro {

namespace {

// Long enough for a byte at the slowest line speed the device offers.
constexpr int WRITE_TIMEOUT_MS = 1000;

} // namespace

QtSerialPort::QtSerialPort()
{
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) { onError(error); });
}

QtSerialPort::~QtSerialPort()
{
    if (m_port.isOpen())
        m_port.close();
}

std::optional<QtSerialPort::LineSettings> QtSerialPort::parseSettings(const QString &settings)
{
    const QStringList parts = settings.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    LineSettings line;
    bool ok = false;
    line.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || line.baud <= 0)
        return std::nullopt;
    const QString parity = parts[1].trimmed().toUpper();
    if (parity == QLatin1String("N"))
        line.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("E"))
        line.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("O"))
        line.parity = QSerialPort::OddParity;
    else if (parity == QLatin1String("M"))
        line.parity = QSerialPort::MarkParity;
    else if (parity == QLatin1String("S"))
        line.parity = QSerialPort::SpaceParity;
    else
        return std::nullopt;
    const int dataBits = parts[2].trimmed().toInt(&ok);
    if (!ok || dataBits < 5 || dataBits > 8)
        return std::nullopt;
    line.dataBits = QSerialPort::DataBits(dataBits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        line.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("1.5"))
        line.stopBits = QSerialPort::OneAndHalfStop;
    else if (stop == QLatin1String("2"))
        line.stopBits = QSerialPort::TwoStop;
    else
        return std::nullopt;
    return line;
}

bool QtSerialPort::setSettings(const QString &settings)
{
    const auto line = parseSettings(settings);
    if (!line) {
        m_error = QStringLiteral("Invalid port settings: %1").arg(settings);
        return false;
    }
    m_settings = settings;
    m_line = *line;
    return !m_port.isOpen() || applySettings();
}

bool QtSerialPort::applySettings()
{
    const bool ok = m_port.setBaudRate(m_line.baud) && m_port.setParity(m_line.parity)
        && m_port.setDataBits(m_line.dataBits) && m_port.setStopBits(m_line.stopBits)
        && m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!ok)
        m_error = m_port.errorString();
    return ok;
}

bool QtSerialPort::open()
{
    if (m_port.isOpen())
        return true;
    m_error.clear();
    m_port.setPortName(m_device.isEmpty() ? portDeviceName(m_portNumber) : m_device);
    if (!m_port.open(QIODevice::ReadWrite)) {
        m_error = QStringLiteral("%1: %2").arg(m_port.portName(), m_port.errorString());
        return false;
    }
    if (!applySettings()) {
        m_port.close();
        return false;
    }
    m_port.setDataTerminalReady(false);
    if (m_discardOnOpen) {
        m_port.clear(QSerialPort::AllDirections);
        m_discardOnOpen = false;
    }
    return true;
}

void QtSerialPort::close()
{
    if (m_port.isOpen())
        m_port.close();
}

bool QtSerialPort::isOpen() const
{
    return m_port.isOpen();
}

void QtSerialPort::flush()
{
    if (!m_port.isOpen()) {
        // A closed port has no buffers of its own; whatever the driver kept
        // is dropped when it opens.
        m_discardOnOpen = true;
        return;
    }
    pullIn();
    m_port.clear(QSerialPort::AllDirections);
    m_port.readAll();
}

void QtSerialPort::pullIn()
{
    // Reads what the driver holds without waiting for an event loop turn.
    if (m_port.isOpen())
        m_port.waitForReadyRead(0);
}

int QtSerialPort::bytesWaiting()
{
    pullIn();
    return m_port.isOpen() ? int(m_port.bytesAvailable()) : 0;
}

std::optional<quint8> QtSerialPort::readByte()
{
    if (!m_port.isOpen())
        return std::nullopt;
    if (m_port.bytesAvailable() == 0)
        pullIn();
    char byte = 0;
    if (!m_port.getChar(&byte))
        return std::nullopt;
    return quint8(byte);
}

QByteArray QtSerialPort::readAll()
{
    pullIn();
    return m_port.isOpen() ? m_port.readAll() : QByteArray();
}

bool QtSerialPort::write(const QByteArray &bytes)
{
    if (!m_port.isOpen()) {
        m_error = QStringLiteral("Port not open");
        return false;
    }
    if (m_port.write(bytes) != bytes.size()) {
        m_error = m_port.errorString();
        return false;
    }
    // The bytes go out now, not on the next event loop turn, so the pacing
    // of the frames is what reaches the line.
    while (m_port.isOpen() && m_port.bytesToWrite() > 0) {
        if (!m_port.waitForBytesWritten(WRITE_TIMEOUT_MS)) {
            m_error = m_port.errorString();
            return false;
        }
    }
    return m_port.isOpen();
}

void QtSerialPort::waitForInput(int milliseconds)
{
    if (!m_port.isOpen() || !QCoreApplication::instance()) {
        SerialPort::waitForInput(milliseconds);
        return;
    }
    // The window keeps running; the first bytes to arrive end the wait.
    QEventLoop loop;
    QTimer::singleShot(qMax(0, milliseconds), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    QObject::connect(&m_port, &QSerialPort::readyRead, &loop, &QEventLoop::quit);
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &loop, &QEventLoop::quit);
    loop.exec();
}

void QtSerialPort::onError(QSerialPort::SerialPortError error)
{
    // A read that finds nothing waiting reports a time-out; that is no fault.
    if (error == QSerialPort::NoError || error == QSerialPort::TimeoutError)
        return;
    m_error = m_port.errorString();
    if (error == QSerialPort::ResourceError && m_port.isOpen()) {
        // The adapter is gone: let go of the name so it comes back the same.
        m_port.close();
        logStatus(QStringLiteral("Serial port %1 lost: %2").arg(m_port.portName(), m_error));
    }
}

} // namespace vantoro
