// Entry point of the station: the command line, then either the unattended
// service (a program of its own, without the widget library) or the start
// sequence and the main window's event loop.
#include "core/command_line.h"
#include "core/data_folder.h"
#include "core/message_service.h"
#include "events/event_log.h"
#include "ui/main/service_launch.h"
#include "ui/main/startup.h"
#include "ui/widget_messages.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const vantoro::CommandLine line = vantoro::parseCommandLine(arguments);
    if (line.action != vantoro::CommandLine::Action::Run)
        return vantoro::finishCommandLine(line);
    // Decided before any application object exists: the service replaces
    // this process, so no window-system connection is ever opened for it.
    if (line.service)
        return vantoro::runServiceProgram(argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantoro"));
    QApplication::setOrganizationName(QStringLiteral("Vantoro"));
    QApplication::setApplicationVersion(QStringLiteral(VANTORO_VERSION));
    vantoro::WidgetMessages widgetMessages;
    vantoro::setMessageService(&widgetMessages);

    QString reason;
    QStringList notes;
    if (!vantoro::useDataFolder(line.home, &reason, &notes)) {
        vantoro::messages().show(QStringLiteral("Vantoro"), reason, vantoro::MessageIcon::Error);
        return 1;
    }
    for (const QString &note : notes)
        vantoro::logStatus(QStringLiteral("*Data folder: ") + note);

    vantoro::Startup startup;
    if (startup.run() == vantoro::Startup::Result::Ended)
        return 0;
    const int code = QApplication::exec();
    vantoro::setMessageService(nullptr);
    return code;
}
