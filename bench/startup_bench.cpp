// Times the station's start: from just before its process is started to its
// main window shown (offscreen), without the station's own fixed waits.
//   startup_bench [--count N]   (N timed starts after one untimed; default 15)
#include "bench_support.h"

#include <QCoreApplication>
#include <cstdio>

using namespace vantoro;

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto count = bench::intOption(app.arguments(), QStringLiteral("--count"), 15);
    if (!count) {
        std::fprintf(stderr, "usage: startup_bench [--count N]\n");
        return 2;
    }
    QList<double> times;
    // The first start writes the files the station adds beside itself and
    // brings the libraries into the page cache; it is not counted.
    for (int run = 0; run <= *count; ++run) {
        bench::StationProcess station;
        if (!station.start()) {
            std::fprintf(stderr, "start %d: %s\n", run, qPrintable(station.errorText()));
            return 1;
        }
        if (run > 0)
            times << station.startupMs();
        station.stop();
    }
    std::printf("start-up to main window shown: median %.1f ms, min %.1f ms, max %.1f ms [%d starts]\n",
                bench::median(times), bench::minimum(times), bench::percentile(times, 1.0), *count);
    bench::printResult("startup.ms", bench::median(times), "ms");
    return 0;
}
