// The unattended station's start sequence and quit.
#include "unattended/unattended_station.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/line_port.h"
#include "core/common.h"
#include "core/database.h"
#include "core/instance_lock.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "events/auto_shutdown.h"
#include "events/event_log.h"
#include "events/run_marker.h"
#include "events/status_evaluation.h"
#include "services/station_services.h"
#include "unattended/console_log.h"
#include "unattended/power_off_request.h"
#include "unattended/shutdown_countdown.h"

#include <QCoreApplication>
#include <QTimer>

namespace vantoro {

UnattendedStation::UnattendedStation(std::unique_ptr<SerialPort> port, int countdownTickMs, QObject *parent)
    : QObject(parent)
    , m_line(port ? std::make_unique<Line>(std::move(port)) : nullptr)
    , m_countdownTickMs(countdownTickMs)
{
}

UnattendedStation::~UnattendedStation()
{
    quit();
}

bool UnattendedStation::fail(const QString &reason)
{
    m_failure = reason;
    return false;
}

bool UnattendedStation::startSequence()
{
    // The lock comes first: nothing in the folder is touched by a second
    // station.
    m_lock = std::make_unique<InstanceLock>(appDir());
    if (!m_lock->tryLock())
        return fail(m_lock->refusal());
    ConsoleLog::write(LogLevel::Info, QStringLiteral("Vantoro %1 unattended, data folder %2")
                                          .arg(QStringLiteral(VANTORO_VERSION), appDir()));
    sysSettings.languageIndex = truncatedInt(leadingNumber(
        readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("1"),
                findFileNoCase(appDir(), QStringLiteral("vantoro.ini")))));
    if (!checkDatabaseFile())
        return fail(QStringLiteral("database not found: ") + findFileNoCase(appDir(), QString::fromLatin1(DATABASE_FILE)));
    initGlobals();
    // A station that cannot store would poll and lose every event.
    QString unwritable;
    if (!checkDatabaseWritable(&unwritable))
        return fail(unwritable);
    extractPowerOff();
    upgradeSchema();
    if (!loadSystemSettings())
        return fail(QStringLiteral("the settings cannot be read from the database"));
    // The line as the settings name it: the serial port or a gateway.
    if (!m_line)
        m_line = std::make_unique<Line>(std::make_unique<LinePort>(sysSettings.LineAddress));
    if (!m_line->load())
        return fail(QStringLiteral("no device record can be read from the database"));

    // The station asks and watches on: the system stops it (SIGTERM) on its
    // way down, and a refusal leaves it monitoring.
    m_powerOff = std::make_unique<PowerOffRequest>(
        [this](bool accepted, const QString &answer) { powerOffAnswered(accepted, answer); });
    m_countdown = std::make_unique<ShutdownCountdown>(
        [this] {
            ConsoleLog::write(LogLevel::Warning,
                              QStringLiteral("Automatic shutdown: asking the login manager to power the machine off."));
            m_powerOff->request();
        },
        m_countdownTickMs);
    m_poller = std::make_unique<Poller>(*m_line, m_timerReloadData);
    m_poller->setHooks({[this](Device &device) { afterCycle(device); }, {}, {}, {}, {}});
    connect(&m_timerReloadData, &QTimer::timeout, this, [this] { m_poller->reloadTick(); });
    m_services = std::make_unique<StationServices>();
    m_services->start();
    if (sysSettings.debugMode != 0)
        logEvent(QStringLiteral("*System up."), QStringLiteral("001"));
    // After the services start, so a mail reports the crash or power cut.
    noteRunStarted();
    m_running = true;
    // Unattended means watching from the first moment.
    m_poller->togglePollingFromToolbar();
    return true;
}

bool UnattendedStation::start()
{
    m_starting = true;
    const bool started = startSequence();
    m_starting = false;
    // A stop asked for while starting (SIGTERM in the first moments) is
    // carried out once the event loop runs, which its exit needs.
    if (started && m_quitAsked)
        QTimer::singleShot(0, this, &UnattendedStation::quit);
    return started;
}

void UnattendedStation::powerOffAnswered(bool accepted, const QString &answer)
{
    if (accepted) {
        ConsoleLog::write(LogLevel::Notice, QStringLiteral("Automatic shutdown: the login manager accepted the "
                                                           "power-off; monitoring goes on until the system stops "
                                                           "the station."));
        return;
    }
    ConsoleLog::write(LogLevel::Error,
                      QStringLiteral("Automatic shutdown: the login manager refused the power-off (%1); monitoring "
                                     "goes on.")
                          .arg(answer));
    logEvent(QStringLiteral("Automatic shutdown failed: power-off refused (%1).").arg(answer), QStringLiteral("001"),
             QString(), true);
}

PowerOffRequest::State UnattendedStation::powerOffState() const
{
    return m_powerOff ? m_powerOff->state() : PowerOffRequest::State::Idle;
}

void UnattendedStation::afterCycle(Device &device)
{
    if (device.rules().conclude(device.table(), device.id(), device.name()))
        m_countdown->start();
}

void UnattendedStation::quit()
{
    if (m_starting) {
        m_quitAsked = true;
        return;
    }
    if (!m_running)
        return;
    m_running = false;
    m_countdown->cancel();
    // Polling off first: a cycle waiting for its reply ends at once.
    quitRequested = true;
    m_timerReloadData.stop();
    if (m_line && m_line->port().isOpen())
        m_line->port().close();
    const bool settingsSaved = saveSystemSettings();
    const bool valuesSaved = m_line && m_line->saveValues();
    m_services->stop();
    checkpointDatabase();
    markRunStopped();
    if (settingsSaved && valuesSaved) {
        m_exitCode = 0;
        ConsoleLog::write(LogLevel::Info, QStringLiteral("Stopped; settings and values saved."));
    } else {
        m_exitCode = 1;
        ConsoleLog::write(LogLevel::Error,
                          QStringLiteral("Stopped; saving the %1 failed.")
                              .arg(settingsSaved ? QStringLiteral("parameter values")
                                                 : valuesSaved ? QStringLiteral("settings")
                                                               : QStringLiteral("settings and parameter values")));
    }
    QCoreApplication::exit(m_exitCode);
}

} // namespace vantoro
