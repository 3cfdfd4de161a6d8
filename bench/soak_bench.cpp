// Runs the main window (offscreen) through many poll cycles against the
// simulator without line pacing, switching the view every few cycles so
// every view refreshes and paints, and follows the resident memory of the
// process: after the first checkpoint it must stay flat.
//   soak_bench [--cycles N] [--checkpoint C] [--switch-every K]
//   (default 20000 cycles, memory taken at cycle 1000 and at the end)
//
// The cycles run back to back, about a hundred times faster than a station
// polling every second. So that the trend charts hold what they hold on such
// a station (3 minutes of samples, 180 points), their window is cut to 180
// cycles' time once the first cycles have shown how long a cycle takes.
#include "bench_support.h"
#include "plant/line.h"
#include "sim_process.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "ui/controls/trend_chart.h"
#include "ui/main/frm_main.h"
#include "ui/main/main_views.h"
#include "ui/main/trend_view.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <cstdio>
#include <malloc.h>

using namespace vantoro;

namespace {

constexpr int SAMPLES_IN_WINDOW = 180; // 3 minutes at one poll a second
constexpr int TIMING_CYCLES = 50;

double residentMb()
{
    return double(bench::residentKb()) / 1024.0;
}

// Bytes the program holds on the heap: resident memory can also grow when
// freed memory is too scattered to be given back, this cannot.
double heapInUseMb()
{
    return double(mallinfo2().uordblks) / 1048576.0;
}

int trendPoints(const frmMain &window)
{
    int points = 0;
    for (int i = 0; i < TrendView::CHARTS; ++i)
        points += window.views()->trendView()->chart(i)->pointCount();
    return points;
}

void cutTrendWindow(frmMain &window, qint64 spanMs)
{
    const QDateTime end = QDateTime::currentDateTime();
    for (int i = 0; i < TrendView::CHARTS; ++i)
        window.views()->trendView()->chart(i)->setTimeRange(end.addMSecs(-spanMs), end);
}

} // namespace

int main(int argc, char **argv)
{
    bench::BenchHome home;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const auto cycles = bench::intOption(args, QStringLiteral("--cycles"), 20000);
    const auto checkpoint = bench::intOption(args, QStringLiteral("--checkpoint"), 1000);
    const auto switchEvery = bench::intOption(args, QStringLiteral("--switch-every"), 5);
    if (!cycles || !checkpoint || !switchEvery || *checkpoint > *cycles) {
        std::fprintf(stderr, "usage: soak_bench [--cycles N] [--checkpoint C] [--switch-every K]\n");
        return 2;
    }

    test::SimProcess sim;
    if (!sim.start({QStringLiteral("--baud"), QStringLiteral("0"), QStringLiteral("--vary")})) {
        std::fprintf(stderr, "simulator: %s\n", qPrintable(sim.errorText()));
        return 1;
    }
    setPortDeviceName(1, sim.ptyPath());

    bench::QuietMessages quiet;
    if (!bench::loadStation(home))
        return 1;
    upgradeSchema();
    SystemSettings &s = sysSettings;
    s.comport = 1;
    // The simulator speaks the CRC protocol; the window reads its device from the database.
    auto devices = loadDevices();
    if (!devices || devices->isEmpty())
        return 1;
    (*devices)[0].protocol = 2;
    if (!editDevice(devices->at(0)))
        return 1;
    s.TimeOut = 1;
    s.retrytimes = 0;
    // The timer's own ticks never come within the run: every cycle is driven here.
    s.PauseSeconds = 65.535f;

    frmMain window;
    window.show();
    window.timerReloadData().setInterval(reloadIntervalMs(s.PauseSeconds));
    window.setComOpen(true);

    const double startMb = residentMb();
    double checkpointMb = 0;
    int checkpointPoints = 0;
    int failed = 0;
    QElapsedTimer clock;
    clock.start();
    for (int cycle = 1; cycle <= *cycles; ++cycle) {
        if ((cycle - 1) % *switchEvery == 0)
            window.setViewMode(((cycle - 1) / *switchEvery) % 4);
        window.poller().reloadTick();
        QApplication::processEvents();
        if (!window.device() || !window.device()->linkUp())
            ++failed;
        if (cycle == TIMING_CYCLES)
            cutTrendWindow(window, clock.elapsed() * SAMPLES_IN_WINDOW / TIMING_CYCLES);
        if (cycle == *checkpoint) {
            checkpointMb = residentMb();
            checkpointPoints = trendPoints(window);
        }
        if (cycle % 1000 == 0 || cycle == *cycles)
            std::printf("cycle %6d  %7.1f s  resident %6.1f MB  heap in use %6.1f MB  trend points %d\n", cycle,
                        clock.elapsed() / 1000.0, residentMb(), heapInUseMb(), trendPoints(window));
        std::fflush(stdout);
    }
    const double endMb = residentMb();
    const int endPoints = trendPoints(window);
    window.setComOpen(false);
    std::printf("%d cycles in %.1f s (%d without a reply); resident at start %.1f MB, at cycle %d %.1f MB, at the "
                "end %.1f MB: growth %+.2f MB; trend points %d then %d\n",
                *cycles, clock.elapsed() / 1000.0, failed, startMb, *checkpoint, checkpointMb, endMb,
                endMb - checkpointMb, checkpointPoints, endPoints);
    if (failed > *cycles / 100) {
        std::fprintf(stderr, "too many cycles without a reply\n");
        return 1;
    }
    bench::printResult("soak.rss_checkpoint_mb", checkpointMb, "MB");
    bench::printResult("soak.rss_end_mb", endMb, "MB");
    bench::printResult("soak.growth_mb", endMb - checkpointMb, "MB");
    return 0;
}
