// The unattended station's start sequence and quit.
#include "unattended/unattended_station.h"

#include "acquisition/param_table.h"
#include "acquisition/polling.h"
#include "acquisition/qt_serial_port.h"
#include "core/common.h"
#include "core/database.h"
#include "core/instance_lock.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "events/auto_shutdown.h"
#include "events/event_log.h"
#include "events/status_evaluation.h"
#include "services/station_services.h"
#include "unattended/console_log.h"
#include "unattended/shutdown_countdown.h"

#include <QCoreApplication>

namespace vantoro {

UnattendedStation::UnattendedStation(std::unique_ptr<SerialPort> port, QObject *parent)
    : QObject(parent)
    , m_port(port ? std::move(port) : std::make_unique<QtSerialPort>())
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

bool UnattendedStation::start()
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
    extractPowerOff();
    upgradeSchema();
    if (!loadSystemSettings())
        return fail(QStringLiteral("the settings or device record cannot be read from the database"));
    loadParamTable();

    m_countdown = std::make_unique<ShutdownCountdown>([this] {
        shutdownWindows();
        // The launcher has the machine now; the station leaves in order.
        if (quitRequested)
            quit();
    });
    m_poller = std::make_unique<Poller>(*m_port, m_timerReloadData);
    m_poller->setHooks({[this] { afterCycle(); }, {}, {}, {}});
    connect(&m_timerReloadData, &QTimer::timeout, this, [this] { m_poller->reloadTick(); });
    m_services = std::make_unique<StationServices>();
    m_services->start();
    if (sysSettings.debugMode != 0)
        logEvent(QStringLiteral("*System up."), QStringLiteral("001"));
    m_running = true;
    // Unattended means watching from the first moment.
    m_poller->togglePollingFromToolbar();
    return true;
}

void UnattendedStation::afterCycle()
{
    if (m_afterCycle.conclude(checkDevStatus()))
        m_countdown->start();
}

void UnattendedStation::quit()
{
    if (!m_running)
        return;
    m_running = false;
    m_countdown->cancel();
    // Polling off first: a cycle waiting for its reply ends at once.
    quitRequested = true;
    m_timerReloadData.stop();
    if (m_port->isOpen())
        m_port->close();
    saveSystemSettings();
    saveParamValues();
    m_services->stop();
    checkpointDatabase();
    ConsoleLog::write(LogLevel::Info, QStringLiteral("Stopped; settings and values saved."));
    QCoreApplication::exit(0);
}

} // namespace vantoro
