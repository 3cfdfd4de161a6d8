// vantoro-sim: plays the PV inverter on a pseudo-terminal, a serial port or a loopback gateway.
#include "port_link.h"
#include "pty_link.h"
#include "sim_options.h"
#include "simulator.h"
#include "tcp_link.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace vantoro::sim;

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
}

// Signals only write a byte; the event loop quits when it reads it.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] { app.quit(); });
    struct sigaction action
    {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void quitOnStdinEof(QCoreApplication &app)
{
    auto *notifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app, notifier] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            notifier->setEnabled(false);
            app.quit();
        }
    });
}

int fail(const QString &message)
{
    std::fprintf(stderr, "vantoro-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vantoro-sim"));

    SimOptions options;
    if (const auto error = parseCommandLine(QCoreApplication::arguments(), options))
        return fail(*error + QStringLiteral(" (see --help)"));

    std::unique_ptr<DeviceLink> link;
    QString banner;
    if (options.tcpPort >= 0) {
        auto tcp = std::make_unique<TcpLink>(options.modbusTcp);
        if (const auto error = tcp->listen(quint16(options.tcpPort), options.ipv6))
            return fail(QStringLiteral("cannot listen on port %1: %2").arg(options.tcpPort).arg(*error));
        banner = (options.modbusTcp ? QStringLiteral("MODBUS-TCP ") : QStringLiteral("TCP ")) + tcp->path();
        link = std::move(tcp);
    } else if (options.portName.isEmpty()) {
        auto pty = std::make_unique<PtyLink>();
        if (const auto error = pty->open())
            return fail(*error);
        banner = QStringLiteral("PTY ") + pty->path();
        link = std::move(pty);
    } else {
        auto port = std::make_unique<PortLink>();
        if (const auto error = port->open(options.portName, options.baud))
            return fail(QStringLiteral("cannot open %1: %2").arg(options.portName, *error));
        banner = QStringLiteral("PORT ") + options.portName;
        link = std::move(port);
    }

    Simulator simulator(options, *link);
    if (const auto error = simulator.start())
        return fail(*error);
    QObject::connect(link.get(), &DeviceLink::failed, &app, [&app](const QString &reason) {
        std::fprintf(stderr, "vantoro-sim: line lost: %s\n", qPrintable(reason));
        app.exit(2);
    });

    quitOnSignals(app);
    if (options.exitOnStdinEof)
        quitOnStdinEof(app);

    std::printf("%s\n", qPrintable(banner));
    std::fflush(stdout);
    return app.exec();
}
