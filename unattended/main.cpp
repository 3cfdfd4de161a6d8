// vantoro-service: the station without a window ("vantoro --service" runs
// it). Linked without the widget library, so a server without a display
// needs none of it.
#include "core/command_line.h"
#include "core/common.h"
#include "core/quit_signals.h"
#include "unattended/console_log.h"
#include "core/data_folder.h"
#include "unattended/unattended_station.h"

#include <QCoreApplication>

namespace {

// Start-up failures: the reason is on standard error, the exit code says so.
constexpr int START_FAILURE_EXIT_CODE = 1;

} // namespace

int main(int argc, char *argv[])
{
    // Before anything else: a stop asked for in the first moments must end
    // the station in order, not kill it.
    vantoro::catchQuitSignals();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Vantoro"));
    QCoreApplication::setOrganizationName(QStringLiteral("Vantoro"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VANTORO_VERSION));
    const vantoro::CommandLine line = vantoro::parseCommandLine(QCoreApplication::arguments());
    if (line.action != vantoro::CommandLine::Action::Run)
        return vantoro::finishCommandLine(line);

    vantoro::ConsoleLog log;
    QString reason;
    QStringList notes;
    const bool folderReady = vantoro::useDataFolder(line.home, &reason, &notes);
    for (const QString &note : notes)
        vantoro::ConsoleLog::write(vantoro::LogLevel::Notice, QStringLiteral("Data folder: ") + note);
    if (!folderReady) {
        vantoro::ConsoleLog::write(vantoro::LogLevel::Error, QStringLiteral("Cannot start: ") + reason);
        return START_FAILURE_EXIT_CODE;
    }
    vantoro::UnattendedStation station;
    vantoro::watchQuitSignals([&station] {
        vantoro::ConsoleLog::write(vantoro::LogLevel::Notice, QStringLiteral("Stop requested."));
        station.quit();
    });
    if (!station.start()) {
        vantoro::ConsoleLog::write(vantoro::LogLevel::Error, QStringLiteral("Cannot start: ") + station.failure());
        return START_FAILURE_EXIT_CODE;
    }
    return QCoreApplication::exec();
}
