// Operating-system quit requests delivered to the event loop.
#include "ui/main/os_quit.h"

#include "core/quit_signals.h"

#include <QGuiApplication>
#include <QSessionManager>

namespace vantoro {

void watchOperatingSystemQuit(std::function<void()> onQuit)
{
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        QObject::connect(gui, &QGuiApplication::commitDataRequest, gui, [onQuit](QSessionManager &) {
            if (onQuit)
                onQuit();
        }, Qt::DirectConnection);
    }
    watchQuitSignals(std::move(onQuit));
}

} // namespace vantoro
