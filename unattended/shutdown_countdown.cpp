// The logged shutdown countdown.
#include "unattended/shutdown_countdown.h"

#include "events/auto_shutdown.h"
#include "unattended/console_log.h"

namespace vantoro {

namespace {

// Every ten seconds, then every second of the last ten.
bool worthALine(int secondsLeft)
{
    return secondsLeft <= 10 || secondsLeft % 10 == 0;
}

} // namespace

ShutdownCountdown::ShutdownCountdown(std::function<void()> shutdown, int tickMs, QObject *parent)
    : QObject(parent)
    , m_shutdown(shutdown ? std::move(shutdown) : std::function<void()>(shutdownWindows))
{
    m_timer.setInterval(tickMs);
    connect(&m_timer, &QTimer::timeout, this, &ShutdownCountdown::tick);
}

void ShutdownCountdown::start()
{
    if (m_timer.isActive())
        return;
    m_secondsLeft = SHUTDOWN_COUNTDOWN_SECONDS;
    ConsoleLog::write(LogLevel::Warning,
                      QStringLiteral("Under-voltage: the computer shuts down in %1 s; stop the service to cancel.")
                          .arg(m_secondsLeft));
    m_timer.start();
}

void ShutdownCountdown::cancel()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    ConsoleLog::write(LogLevel::Notice, QStringLiteral("Automatic shutdown cancelled."));
}

void ShutdownCountdown::tick()
{
    --m_secondsLeft;
    if (m_secondsLeft > 0) {
        if (worthALine(m_secondsLeft))
            ConsoleLog::write(LogLevel::Warning, QStringLiteral("Automatic shutdown in %1 s").arg(m_secondsLeft));
        return;
    }
    m_timer.stop();
    m_shutdown();
}

} // namespace vantoro
