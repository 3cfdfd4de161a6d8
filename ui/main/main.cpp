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

namespace {

// Qt's own options (-platform, -session from a session manager, -style, ...)
// are words after a single dash; the station's have two dashes.
bool mayHoldQtOptions(const QStringList &arguments)
{
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (argument == QLatin1String("--"))
            break;
        if (argument.size() > 2 && argument[0] == QLatin1Char('-') && argument[1] != QLatin1Char('-'))
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    vantoro::CommandLine line = vantoro::parseCommandLine(arguments);
    // Decided before any application object exists: the service replaces
    // this process, so no window-system connection is ever opened for it.
    if (line.action == vantoro::CommandLine::Action::Run && line.service)
        return vantoro::runServiceProgram(argv);
    // Help, version and a plain mistake need no window system; a line that
    // may hold Qt's options is read again once QApplication took them.
    const bool qtOptions = line.action == vantoro::CommandLine::Action::Error && mayHoldQtOptions(arguments);
    if (line.action != vantoro::CommandLine::Action::Run && !qtOptions)
        return vantoro::finishCommandLine(line);

    QApplication app(argc, argv);
    if (qtOptions) {
        line = vantoro::parseCommandLine(QApplication::arguments());
        if (line.action != vantoro::CommandLine::Action::Run)
            return vantoro::finishCommandLine(line);
        // QApplication took its options out of argv as well.
        if (line.service)
            return vantoro::runServiceProgram(argv);
    }
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
