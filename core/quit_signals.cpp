// Quit signals delivered to the event loop through a socket pair.
#include "core/quit_signals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace vantoro {

namespace {

std::function<void()> quitHandler;

#ifdef Q_OS_UNIX
int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here; the event loop does the rest.
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[0], &byte, 1);
}
#endif

} // namespace

void catchQuitSignals()
{
#ifdef Q_OS_UNIX
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
#endif
}

void watchQuitSignals(std::function<void()> onQuit)
{
    quitHandler = std::move(onQuit);
#ifdef Q_OS_UNIX
    static bool watching = false;
    catchQuitSignals();
    if (watching || signalPipe[1] < 0)
        return;
    watching = true;
    // A signal caught before this point waits in the pair and is handled
    // once the event loop runs.
    auto *notifier = new QSocketNotifier(signalPipe[1], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t n = ::read(signalPipe[1], &byte, 1);
        if (quitHandler)
            quitHandler();
    });
#endif
}

} // namespace vantoro
