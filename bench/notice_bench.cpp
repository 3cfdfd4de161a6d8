// Times what notices cost the poll path: the bus handing one stored event
// to nobody, to the notice service with three channels while their
// gathering window is open (the common case), and while it is shut, so the
// hand-over opens it on every channel. The look at the backlog that follows
// runs after the clock, as it does after the poll cycle; no notice goes out.
//   notice_bench [--count N]   (default: 2000 events per case)
#include "bench_support.h"

#include "core/database.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "notices/notice_channels.h"
#include "notices/notice_service.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <array>
#include <cstdio>

using namespace vantoro;

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 2000);
    if (!count) {
        std::fprintf(stderr, "usage: notice_bench [--count N]\n");
        return 2;
    }
    bench::QuietMessages quiet;
    if (!bench::loadStation(home))
        return 1;
    upgradeSchema();
    // Port 9 on loopback: nothing is ever sent there, the windows never close.
    QList<NoticeChannel> channels;
    for (const char *path : {"a", "b", "c"})
        channels << NoticeChannel{0, QStringLiteral("json://127.0.0.1:9/") + QLatin1String(path), {}};
    QString error;
    if (!saveNoticeChannels(channels, &error)) {
        std::fprintf(stderr, "channels not stored: %s\n", qPrintable(error));
        return 1;
    }

    // Nobody listens to the first case's bus; the services to the station's.
    StationBus quietBus;
    const char *const names[] = {"off", "window open", "window shut"};
    NoticeTiming open;
    open.startMs = 3600 * 1000;
    open.gatherMs = 3600 * 1000;
    NoticeTiming shut;
    shut.startMs = 0;
    shut.gatherMs = 0;
    NoticeService gathering(open);
    NoticeService idle(shut);
    gathering.start();
    StoredEvent event{1, QDateTime::currentDateTime(), QStringLiteral("001"),
                      langText(QStringLiteral("frmMain"), QStringLiteral("msgConnFail0")), false};

    std::array<QList<double>, 3> handOver;
    for (int i = 0; i < 20 + *count; ++i) {
        for (int c = 0; c < 3; ++c) {
            // One service at a time on the station's bus.
            if (c == 2) {
                gathering.stop();
                idle.start();
                QCoreApplication::processEvents(); // the start's look shuts the windows
            }
            QElapsedTimer clock;
            clock.start();
            if (c == 0)
                quietBus.publishEvent(event);
            else
                stationBus().publishEvent(event);
            const double ms = bench::elapsedMs(clock);
            if (c == 2) {
                QCoreApplication::processEvents(); // the look at the (empty) backlog
                idle.stop();
                gathering.start();
            }
            if (i >= 20)
                handOver[size_t(c)] << ms;
        }
    }
    if (gathering.sends() != 0 || idle.sends() != 0) {
        std::fprintf(stderr, "a notice went out during the run\n");
        return 1;
    }
    for (int c = 0; c < 3; ++c)
        std::printf("notices %-12s hand-over median %7.4f ms (p90 %7.4f, max %7.4f)  [%d events]\n", names[c],
                    bench::median(handOver[size_t(c)]), bench::percentile(handOver[size_t(c)], 0.9),
                    bench::percentile(handOver[size_t(c)], 1.0), *count);
    bench::printResult("notices.handover_open_ms", bench::median(handOver[1]), "ms");
    bench::printResult("notices.handover_shut_ms", bench::median(handOver[2]), "ms");
    return 0;
}
