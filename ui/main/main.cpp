// Entry point of the station: no arguments; the start sequence, then the
// main window's event loop.
#include "core/message_service.h"
#include "ui/main/startup.h"
#include "ui/widget_messages.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vantoro"));
    QApplication::setOrganizationName(QStringLiteral("Vantoro"));
    QApplication::setApplicationVersion(QStringLiteral(VANTORO_VERSION));
    vantoro::WidgetMessages widgetMessages;
    vantoro::setMessageService(&widgetMessages);

    vantoro::Startup startup;
    if (startup.run() == vantoro::Startup::Result::Ended)
        return 0;
    const int code = QApplication::exec();
    vantoro::setMessageService(nullptr);
    return code;
}
