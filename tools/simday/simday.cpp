// vantoro-simday: records one day of the device simulator's solar day into a
// private station database through the station's own poll cycle, decoder and
// history recorder, then saves the history window on that day as pictures.
// The simulator's clock moves on one step per poll, so each cycle's report
// is recorded at the simulated time of its poll, not at the machine's time.
//
//   vantoro-simday [--day 2026-06-21] [--out docs/history_day.png]
//                  [--yield-out docs/history_yield.png] [--month-out PNG]
//                  [--codes IAC,VDC,TMOD]
//                  [--gap 13:10-13:40|none] [--days-before N] [--cloud-seed S]
//                  [--keep DIR]
//
// With --keep the recorded station folder is copied to DIR, to be opened
// with VANTORO_HOME=DIR vantoro (View, History).
// It runs offscreen unless QT_QPA_PLATFORM says otherwise; exit code 0 when
// the day was recorded and the pictures saved.
#include "bench_support.h"
#include "sim_process.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "plant/line.h"
#include "acquisition/qt_serial_port.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "history/history_recorder.h"
#include "ui/history/frm_history.h"
#include "ui/history/yield_view.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTabWidget>
#include <QTimer>
#include <cstdio>

using namespace vantoro;

namespace {

constexpr int CLOCK_STEP_SECONDS = 60;
// The days before the shown one only feed the yield tab: coarser steps
// make them quick. Not above the recorder's longest counted link step.
constexpr int EARLIER_DAYS_STEP_SECONDS = 600;
// Short, so the link gap costs seconds; the simulator answers in well under it.
constexpr float TIMEOUT_SECONDS = 0.2f;
// The README picture's size.
constexpr int WINDOW_WIDTH = 1000;
constexpr int WINDOW_HEIGHT = 620;
// A 3 kW plant: 12.5 A into the grid at full sun, the DC words at the
// simulator's default ratio of AC to DC power.
const QStringList PLANT_ARGUMENTS{QStringLiteral("--iac"), QStringLiteral("1250"), QStringLiteral("--idc"),
    QStringLiteral("875")};

struct Options
{
    QDate day;
    QString out;
    QString yieldOut;
    QString monthOut;
    QStringList codes;
    QString keep;
    QTime gapFrom;
    QTime gapTo;
    int daysBefore = 0;
    QString cloudSeed;
};

void fail(const QString &message)
{
    std::fprintf(stderr, "vantoro-simday: %s\n", qPrintable(message));
}

std::optional<Options> parseOptions(const QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Records a simulated PV day through the station's poll cycle and history recorder, then saves the "
        "history window on that day."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("day"), QStringLiteral("The day to simulate (default 2026-06-21)."), QStringLiteral("date"),
            QStringLiteral("2026-06-21")},
        {QStringLiteral("out"), QStringLiteral("The day's curves (default docs/history_day.png)."),
            QStringLiteral("png"), QStringLiteral("docs/history_day.png")},
        {QStringLiteral("yield-out"), QStringLiteral("The yield tab; not saved when absent."), QStringLiteral("png")},
        {QStringLiteral("month-out"), QStringLiteral("The curves of the day's month; not saved when absent."),
            QStringLiteral("png")},
        {QStringLiteral("codes"), QStringLiteral("Parameters to plot (default IAC,VDC,TMOD)."),
            QStringLiteral("list"), QStringLiteral("IAC,VDC,TMOD")},
        {QStringLiteral("gap"), QStringLiteral("When the device stays silent, HH:mm-HH:mm or none (default 13:10-13:40)."),
            QStringLiteral("range"), QStringLiteral("13:10-13:40")},
        {QStringLiteral("days-before"),
            QStringLiteral("Days before --day recorded at 10-minute steps, for the yield tab (default 0)."),
            QStringLiteral("n"), QStringLiteral("0")},
        {QStringLiteral("cloud-seed"), QStringLiteral("The simulator's clouds; 0 a clear sky (default 1)."),
            QStringLiteral("n"), QStringLiteral("1")},
        {QStringLiteral("keep"),
            QStringLiteral("Copies the recorded station folder here, for VANTORO_HOME=DIR vantoro (View, History)."),
            QStringLiteral("dir")},
    });
    parser.process(app);
    Options o;
    o.day = QDate::fromString(parser.value(QStringLiteral("day")), Qt::ISODate);
    o.out = parser.value(QStringLiteral("out"));
    o.yieldOut = parser.value(QStringLiteral("yield-out"));
    o.monthOut = parser.value(QStringLiteral("month-out"));
    o.codes = parser.value(QStringLiteral("codes")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    o.cloudSeed = parser.value(QStringLiteral("cloud-seed"));
    o.keep = parser.value(QStringLiteral("keep"));
    bool daysOk = false;
    o.daysBefore = parser.value(QStringLiteral("days-before")).toInt(&daysOk);
    if (!daysOk || o.daysBefore < 0 || o.daysBefore > 366) {
        fail(QStringLiteral("bad --days-before: %1").arg(parser.value(QStringLiteral("days-before"))));
        return std::nullopt;
    }
    const QString gap = parser.value(QStringLiteral("gap"));
    if (gap != QLatin1String("none")) {
        o.gapFrom = QTime::fromString(gap.section(QLatin1Char('-'), 0, 0), QStringLiteral("HH:mm"));
        o.gapTo = QTime::fromString(gap.section(QLatin1Char('-'), 1, 1), QStringLiteral("HH:mm"));
        if (!o.gapFrom.isValid() || !o.gapTo.isValid()) {
            fail(QStringLiteral("bad --gap: %1").arg(gap));
            return std::nullopt;
        }
    }
    if (!o.day.isValid()) {
        fail(QStringLiteral("bad --day: %1").arg(parser.value(QStringLiteral("day"))));
        return std::nullopt;
    }
    return o;
}

void configureStation(Line &line, const QString &ptyPath)
{
    Device &device = bench::useSimulator(line, ptyPath, 9600, TIMEOUT_SECONDS);
    SystemSettings &s = sysSettings;
    // The device's own energy counter, as the simulator integrates it on its clock.
    DeviceRecord record = device.record();
    record.meterCounter = true;
    device.setRecord(record);
    s.HisDataSamplePeriod = CLOCK_STEP_SECONDS;
    // Kept for ever: the simulated day may lie in the machine's past.
    s.hisdatakeephours = 0;
}

QDateTime firstPoll(const Options &o)
{
    return QDateTime(o.day.addDays(-o.daysBefore), QTime(0, 0));
}

// What the simulator is told before a poll: the clock step from this poll to
// the next, and silence in the gap. Applied over its command line.
QString scenarioFor(const Options &o, const QDateTime &pollTime, int step)
{
    QString scenario;
    if (step != CLOCK_STEP_SECONDS)
        scenario += QStringLiteral("clock-step=%1\n").arg(step);
    const bool gap = o.gapFrom.isValid() && pollTime.date() == o.day && pollTime.time() >= o.gapFrom
        && pollTime.time() < o.gapTo;
    if (gap)
        scenario += QStringLiteral("fault=noreply\n");
    return scenario;
}

// The poll cycles up to the end of the day; each report goes to the recorder
// at its poll's simulated time, which moves on as the simulator's clock does.
bool recordDays(Line &line, const Options &o, test::SimProcess &sim, HistoryRecorder &recorder)
{
    const Device &device = *line.first();
    QTimer timer;
    Poller poller(line, timer);
    timer.start(3600 * 1000); // polling on; the loop drives the ticks
    QDateTime pollTime = firstPoll(o);
    const QDateTime end(o.day.addDays(1), QTime(0, 0));
    const auto connection = QObject::connect(&stationBus(), &StationBus::cycleFinished, &recorder,
        [&](const CycleReport &report) {
            CycleReport simulated = report;
            simulated.time = pollTime;
            recorder.recordCycle(simulated);
        });
    QString written;
    int polls = 0;
    int replied = 0;
    while (pollTime < end) {
        const int step = pollTime.date() == o.day ? CLOCK_STEP_SECONDS : EARLIER_DAYS_STEP_SECONDS;
        const QString scenario = scenarioFor(o, pollTime, step);
        if (scenario != written && !sim.writeScenario(scenario)) {
            fail(QStringLiteral("the simulator's scenario could not be written"));
            return false;
        }
        written = scenario;
        poller.reloadTick();
        ++polls;
        replied += device.link().replyReceived == 1 && device.linkUp() ? 1 : 0;
        pollTime = pollTime.addSecs(step);
    }
    QObject::disconnect(connection);
    recorder.flush();
    const DayYield &day = recorder.currentDay();
    std::printf("%d polls, %d replies, %lld samples; %s: yield %.1f kWh, peak %.0f W at %s, module up to %.1f\n",
        polls, replied, recorder.samplesWritten(), qPrintable(o.day.toString(Qt::ISODate)), day.energyKwh,
        day.peakPowerW.value_or(0), qPrintable(day.peakTime.time().toString(QStringLiteral("HH:mm"))),
        day.maxModuleTemp.value_or(0));
    return recorder.samplesWritten() > 0 && !recorder.failing();
}

void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool saveWindow(QWidget &window, const QString &path)
{
    // The chart lays out its axes and legend in the event loop.
    settle(200);
    if (window.grab().save(path)) {
        std::printf("saved %s\n", qPrintable(path));
        return true;
    }
    fail(QStringLiteral("cannot save %1").arg(path));
    return false;
}

bool savePictures(const Options &o)
{
    frmHistory window;
    window.resize(WINDOW_WIDTH, WINDOW_HEIGHT);
    window.show();
    window.setDay(o.day);
    window.setCodes(o.codes);
    if (!saveWindow(window, o.out))
        return false;
    if (!o.monthOut.isEmpty()) {
        window.setDay(o.day, HistorySpan::Month);
        window.setCodes(o.codes);
        if (!saveWindow(window, o.monthOut))
            return false;
    }
    if (o.yieldOut.isEmpty())
        return true;
    window.tabs()->setCurrentWidget(window.yieldView());
    return saveWindow(window, o.yieldOut);
}

// A consistent copy of the recorded database and the files beside it (the
// simulator's port was never stored: the copy keeps the default port).
bool keepHome(const bench::BenchHome &home, const QString &dir)
{
    if (!QDir().mkpath(dir) || QFileInfo::exists(QDir(dir).filePath(QStringLiteral("vantoro.db")))) {
        fail(QStringLiteral("--keep needs a folder without a vantoro.db: %1").arg(dir));
        return false;
    }
    const QString db = QDir(dir).filePath(QStringLiteral("vantoro.db"));
    QString error;
    if (!execSql(QStringLiteral("vacuum into ?"), {db}, &error)) {
        fail(QStringLiteral("the database could not be kept: %1").arg(error));
        return false;
    }
    for (const char *name : {"VANTORO.INI", "langcn.ini", "langen.ini", "PARAMS.INI"})
        QFile::copy(home.file(QString::fromLatin1(name)), QDir(dir).filePath(QString::fromLatin1(name)));
    std::printf("kept in %s: VANTORO_HOME=%s build/bin/vantoro, then View > History\n", qPrintable(dir),
                qPrintable(dir));
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    // A private home and settings store before anything reads them; the
    // simulator inherits both.
    bench::BenchHome home;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const auto options = parseOptions(app);
    if (!options)
        return 2;

    bench::QuietMessages quiet;
    storeLanguage(LANGUAGE_ENGLISH);
    initGlobals();
    upgradeSchema();
    Line line(std::make_unique<QtSerialPort>());
    if (!loadSystemSettings() || !line.load()) {
        fail(QStringLiteral("the default database did not load from %1").arg(home.path()));
        return 2;
    }
    sysSettings.languageIndex = LANGUAGE_ENGLISH;

    test::SimProcess sim;
    const QStringList simArguments = QStringList{QStringLiteral("--baud"), QStringLiteral("0"),
                                         QStringLiteral("--solar-day"), QStringLiteral("--clock-start"),
                                         firstPoll(*options).toString(Qt::ISODate), QStringLiteral("--clock-step"),
                                         QString::number(CLOCK_STEP_SECONDS), QStringLiteral("--cloud-seed"),
                                         options->cloudSeed}
        + PLANT_ARGUMENTS;
    if (!sim.start(simArguments)) {
        fail(QStringLiteral("simulator: %1").arg(sim.errorText()));
        return 2;
    }
    configureStation(line, sim.ptyPath());

    HistoryRecorder recorder;
    recorder.readSettings();
    if (!recordDays(line, *options, sim, recorder))
        return 1;
    sim.stop();
    if (!savePictures(*options))
        return 1;
    return options->keep.isEmpty() || keepHome(home, options->keep) ? 0 : 1;
}
