// Start sequence: language, splash, single instance, database, globals,
// schema, settings, parameter table, windows, then the main window is shown.
#include "ui/main/startup.h"

#include "acquisition/line_port.h"
#include "core/common.h"
#include "core/data_folder.h"
#include "core/database.h"
#include "core/instance_lock.h"
#include "core/message_service.h"
#include "core/localisation.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "acquisition/param_table.h"
#include "events/auto_shutdown.h"
#include "events/event_log.h"
#include "events/run_marker.h"
#include "services/station_services.h"
#include "ui/form_utils.h"
#include "ui/main/frm_main.h"
#include "ui/main/frm_splash.h"
#include "ui/main/os_quit.h"
#include "ui/main/single_instance.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QTimer>

namespace vantoro {

namespace {

const QString appTitle = QStringLiteral("Vantoro");

void endWithNotice()
{
    messages().beep();
    messages().show(QStringLiteral("Notice"),
                    QStringLiteral(" DataBase not found \r\n  （DATABASEFILE）\r\n\r\nPlease contact to the system manager。"),
                    MessageIcon::Information);
}

// Start-up timing only (bench/startup_bench.cpp): VANTORO_SKIP_FIXED_WAITS=1
// leaves out the two fixed waits (2 s for a second instance, 0.5 s after
// showing), so what is timed is the station's own work.
bool skipFixedWaits()
{
    return qEnvironmentVariableIntValue("VANTORO_SKIP_FIXED_WAITS") == 1;
}

// Start-up timing only: VANTORO_STARTUP_MARK names a file that receives the
// monotonic clock in nanoseconds once the shown window's first events (its
// paint) have run.
void markWhenShown()
{
    const QString path = qEnvironmentVariable("VANTORO_STARTUP_MARK");
    if (path.isEmpty())
        return;
    QTimer::singleShot(0, [path] {
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(QByteArray::number(QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs()));
    });
}

} // namespace

Startup::Startup() = default;
Startup::~Startup()
{
    if (m_services) {
        m_services->stop();
        markRunStopped();
    }
}

// After a first attempt failed. The lock is the rule; the local socket only
// carries the request to raise the running window. A station closing within
// 2 s makes way.
bool Startup::takeInstanceLock(bool fixedWaits)
{
    if (m_lock->heldByOther() && fixedWaits)
        waitSeconds(2);
    if (m_lock->tryLock())
        return true;
    if (!m_lock->heldByOther()) {
        messages().show(appTitle, m_lock->refusal(), MessageIcon::Error);
        return false;
    }
    pauseMs(10);
    if (!m_instance->askOtherToRaise())
        messages().show(appTitle, QStringLiteral("The system has already started up!"), MessageIcon::None);
    return false;
}

Startup::Result Startup::run()
{
    // Before anything else: two stations must never share a data folder.
    m_lock = std::make_unique<InstanceLock>(appDir());
    const bool lockedAtOnce = m_lock->tryLock();
    setBusyCursor(true);
    const bool fixedWaits = !skipFixedWaits();
    sysSettings.languageIndex = startLanguage(findFileNoCase(appDir(), QStringLiteral("vantoro.ini")));

    auto splash = std::make_unique<frmSplash>();
    splash->show();
    splash->repaint();
    setBusyCursor(true);

    m_instance = std::make_unique<SingleInstance>();
    if (!lockedAtOnce && !takeInstanceLock(fixedWaits)) {
        setBusyCursor(false);
        return Result::Ended;
    }
    m_instance->listen([this] { return m_main && m_main->raiseForSecondInstance(); });

    if (!checkDatabaseFile()) {
        setBusyCursor(false);
        splash.reset();
        endWithNotice();
        return Result::Ended;
    }
    initGlobals();
    // A station that cannot store would watch and lose every event.
    QString unwritable;
    if (!checkDatabaseWritable(&unwritable)) {
        setBusyCursor(false);
        splash.reset();
        messages().show(appTitle, QStringLiteral("Vantoro cannot start: ") + unwritable, MessageIcon::Error);
        return Result::Ended;
    }
    extractPowerOff();
    upgradeSchema();
    loadSystemSettings();

    // The line is read once here: an address changed in the settings is used from the next start.
    m_main = std::make_unique<frmMain>(nullptr, std::make_unique<LinePort>(sysSettings.LineAddress));
    m_services = std::make_unique<StationServices>();
    m_services->start();
    if (sysSettings.debugMode != 0)
        logEvent(QStringLiteral("*System up."), QStringLiteral("001"));
    // After the services start, so a mail reports the crash or power cut.
    noteRunStarted();

    splash.reset();
    setBusyCursor(false);
    m_main->show();
    markWhenShown();
    watchOperatingSystemQuit([this] {
        if (m_main)
            m_main->requestOperatingSystemQuit();
    });
    if (fixedWaits)
        waitSeconds(0.5);
    m_main->checkComState();
    m_main->setSpeaker();
    // An unattended station resumes watching after a power cut.
    m_main->autoStartPolling();
    return Result::Running;
}

} // namespace vantoro
