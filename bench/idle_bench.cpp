// Measures what the running station costs the machine: its CPU time (user +
// system, from /proc/<pid>/stat) over a measuring time, with polling off,
// and with polling every second against the simulator on the state view.
//   idle_bench [--seconds S] [--settle S]   (default 60 s each, after 3 s)
#include "bench_support.h"
#include "sim_process.h"

#include "core/user_settings.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <cstdio>

using namespace vantoro;

namespace {

int pollsRecorded(const test::SimProcess &sim)
{
    return int(sim.recordLines().filter(QStringLiteral(" poll-v2 ")).size());
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    QCoreApplication app(argc, argv);
    const auto seconds = bench::realOption(app.arguments(), QStringLiteral("--seconds"), 60);
    const auto settle = bench::realOption(app.arguments(), QStringLiteral("--settle"), 3);
    if (!seconds || !settle) {
        std::fprintf(stderr, "usage: idle_bench [--seconds S] [--settle S]\n");
        return 2;
    }

    const bench::StationCost off = bench::stationCpuShare(*settle, *seconds);
    if (off.percent < 0)
        return 1;
    std::printf("polling off: %.3f %% of one core over %.1f s\n", off.percent, off.measuredSeconds);

    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QStringLiteral("9600"), QStringLiteral("--record-polls")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    setPortDeviceName(1, sim.ptyPath());
    setUserValue(UserKeys::AutoStartPolling, QStringLiteral("1"));
    if (!bench::editDatabase(home.file(QStringLiteral("vantoro.db")),
                      {QStringLiteral("update sysset set comport=1, ComSettings='9600,N,8,1', PauseSeconds=1, "
                                      "viewmode='0' where id=1"),
                       QStringLiteral("update devices set DEVCOMVERSION='2'")}))
        return 1;
    const int pollsBefore = pollsRecorded(sim);
    const bench::StationCost polling = bench::stationCpuShare(*settle, *seconds);
    if (polling.percent < 0)
        return 1;
    const int polls = pollsRecorded(sim) - pollsBefore;
    std::printf("polling every second on the state view: %.3f %% of one core over %.1f s (%d polls answered "
                "in the run)\n",
                polling.percent, polling.measuredSeconds, polls);
    if (polls == 0) {
        std::fprintf(stderr, "the station did not poll\n");
        return 1;
    }
    bench::printResult("idle.off_pct", off.percent, "%");
    bench::printResult("idle.polling_pct", polling.percent, "%");
    return 0;
}
