// Pseudo-terminal side of the simulator.
#include "pty_link.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace vantoro::sim {

namespace {

QString systemError(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyLink::PtyLink(QObject *parent)
    : DeviceLink(parent)
{
}

PtyLink::~PtyLink()
{
    delete m_notifier;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
}

std::optional<QString> PtyLink::open()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return systemError("posix_openpt");
    if (::grantpt(m_master) != 0)
        return systemError("grantpt");
    if (::unlockpt(m_master) != 0)
        return systemError("unlockpt");
    const char *name = ::ptsname(m_master);
    if (!name)
        return systemError("ptsname");
    m_path = QString::fromLocal8Bit(name);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    // Holding the slave open ourselves keeps the master readable while the
    // station has its port closed (otherwise reads fail with EIO), and sets
    // raw mode before the station's first open so no byte is translated.
    m_slave = ::open(name, O_RDWR | O_NOCTTY);
    if (m_slave < 0)
        return systemError("open slave");
    termios tio{};
    if (::tcgetattr(m_slave, &tio) != 0)
        return systemError("tcgetattr");
    ::cfmakeraw(&tio);
    ::cfsetispeed(&tio, B9600);
    ::cfsetospeed(&tio, B9600);
    if (::tcsetattr(m_slave, TCSANOW, &tio) != 0)
        return systemError("tcsetattr");

    m_notifier = new QSocketNotifier(m_master, QSocketNotifier::Read);
    connect(m_notifier, &QSocketNotifier::activated, this, &PtyLink::readAvailable);
    return std::nullopt;
}

bool PtyLink::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // A full slave queue (the station is not reading): the bytes are lost, as on a wire.
            return false;
        }
        done += n;
    }
    return true;
}

void PtyLink::readAvailable()
{
    char buffer[512];
    QByteArray bytes;
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            m_notifier->setEnabled(false);
            emit failed(systemError("read"));
        }
        break;
    }
    if (!bytes.isEmpty())
        emit received(bytes);
}

} // namespace vantoro::sim
