// The history window over a modelled day, its settings page and the event
// viewer's export. With VANTORO_SCREENSHOT_DIR set, the window's tabs are
// saved there as history_model_*.png (the README's pictures come from the
// device simulator instead: scripts/history_screenshot.sh).
#include "core/database.h"
#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "history/daily_yield.h"
#include "history/history_query.h"
#include "history/history_store.h"
#include "test_support.h"
#include "ui/dialogs/frm_view_event_log_db.h"
#include "ui/dialogs/history_settings_page.h"
#include "ui/history/frm_history.h"
#include "ui/history/history_chart_view.h"
#include "ui/history/yield_view.h"

#include <QAreaSeries>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLineSeries>
#include <QTabWidget>
#include <QtTest>
#include <cmath>

using namespace vantoro;

namespace {

const QDate modelledDay(2026, 6, 21);

ParameterReading reading(int id, const char *code, const char *unit, double value)
{
    ParameterReading p;
    p.id = id;
    p.code = QString::fromLatin1(code);
    p.name = p.code;
    p.unit = QString::fromUtf8(unit);
    p.numeric = true;
    p.value = value;
    return p;
}

// A summer day of a 3 kW plant: a bell of sunshine with passing clouds, the
// link down for half an hour after one o'clock. Stored in one transaction,
// as a day of separately flushed samples would take the test too long.
bool recordSimulatedDay()
{
    DayYield day;
    day.deviceId = QStringLiteral("001");
    day.day = modelledDay;
    QList<HistorySample> samples;
    double counter = 1520.0;
    double energy = 0;
    for (int minute = 0; minute < 24 * 60; ++minute) {
        const QDateTime time(modelledDay, QTime(minute / 60, minute % 60));
        const double hour = minute / 60.0;
        const double sun = hour > 5.5 && hour < 20.5 ? std::pow(std::sin(M_PI * (hour - 5.5) / 15.0), 1.5) : 0;
        const double cloud = 1.0 - 0.35 * std::max(0.0, std::sin(minute / 7.0) * std::sin(minute / 53.0));
        const double power = 2900 * sun * cloud;
        const double vac = 229 + 3 * std::sin(minute / 90.0);
        energy += power / 60000.0;
        if (energy >= 0.1) {
            counter += 0.1;
            energy -= 0.1;
        }
        if (hour >= 13.2 && hour < 13.7)
            continue;
        const double vdc = sun > 0 ? 300 + 60 * sun : 0;
        CycleReport r;
        r.time = time;
        r.parameters << reading(2, "VAC", "V", vac) << reading(3, "IAC", "A", power / vac)
                     << reading(4, "VDC", "V", vdc) << reading(5, "IDC", "A", vdc > 0 ? power / vdc / 0.96 : 0)
                     << reading(6, "TMOD", "°C", 18 + 30 * sun * cloud) << reading(8, "EKWH", "kWh", counter)
                     << reading(10, "STAT", "", sun > 0 ? 1 : 0);
        addReading(day, yieldReading(r), 3000, 60);
        HistorySample sample{time, {}};
        for (const ParameterReading &p : std::as_const(r.parameters))
            sample.values.append({p.id, p.value});
        samples << sample;
    }
    QList<HistoryColumn> columns;
    for (const auto &[id, code, unit] : {std::tuple{2, "VAC", "V"}, {3, "IAC", "A"}, {4, "VDC", "V"}, {5, "IDC", "A"},
                                         {6, "TMOD", "°C"}, {8, "EKWH", "kWh"}, {10, "STAT", ""}})
        columns << HistoryColumn{id, QString::fromLatin1(code), QString::fromLatin1(code), QString::fromUtf8(unit)};
    return historyWrite([&](QSqlDatabase &db, QString &error) {
        for (const HistorySample &s : std::as_const(samples)) {
            if (!insertSample(db, s, error))
                return false;
        }
        return storeColumns(db, columns, error) && saveDayYield(db, day, error);
    });
}

void saveShot(QWidget *w, const QString &name)
{
    const QByteArray dir = qgetenv("VANTORO_SCREENSHOT_DIR");
    // The chart lays out its axes and legend in the event loop.
    QTest::qWait(50);
    if (!dir.isEmpty())
        w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name);
}

} // namespace

class TestHistoryWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void showsTheDayAsCurves();
    void emptyDaySaysSo();
    void valueAxesShowRippleSmall_data();
    void valueAxesShowRippleSmall();
    void yieldTabShowsTheDay();
    void devicesAndThePlantAreChosen();
    void settingsPageRefusesOutOfRange();
    void eventViewerExports();

private:
    std::unique_ptr<test::TestHome> m_home;
    std::unique_ptr<test::MessageRecorder> m_messages;
};

void TestHistoryWindow::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    m_messages = std::make_unique<test::MessageRecorder>();
    storeLanguage(LANGUAGE_ENGLISH);
    sysSettings.languageIndex = LANGUAGE_ENGLISH;
    upgradeSchema();
    sysSettings.HisDataSamplePeriod = 60;
    QVERIFY(recordSimulatedDay());
}

void TestHistoryWindow::cleanupTestCase()
{
    m_messages.reset();
    m_home.reset();
}

void TestHistoryWindow::showsTheDayAsCurves()
{
    frmHistory window;
    window.resize(1000, 620);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.setDay(modelledDay);
    window.setCodes({QStringLiteral("IAC"), QStringLiteral("VDC"), QStringLiteral("TMOD")});
    // The status word is recorded, but no curve is offered for it.
    const auto *list = window.findChild<QListWidget *>();
    QVERIFY(list && list->count() == 6);
    for (int i = 0; i < list->count(); ++i)
        QVERIFY(list->item(i)->data(Qt::UserRole).toString() != QStringLiteral("STAT"));
    HistoryChartView *chart = window.chartView();
    // 1440 minutes less the half hour the link was down, three parameters.
    QCOMPARE(chart->data().sampleCount, 1410);
    // A day is shown sample by sample.
    QCOMPARE(chart->data().bucketSeconds, 0);
    QCOMPARE(chart->pointsShown(), 3 * 1410);
    // Each parameter's line breaks at the gap.
    QCOMPARE(chart->chart()->series().size(), 6);
    QVERIFY(chart->chart()->title().isEmpty());
    QVERIFY(chart->readoutAt(QDateTime(modelledDay, QTime(12, 0))).contains(QStringLiteral("TMOD")));
    // The day was stored at 60 s; a period lowered since changes nothing.
    sysSettings.HisDataSamplePeriod = 5;
    window.setDay(modelledDay);
    sysSettings.HisDataSamplePeriod = 60;
    QCOMPARE(chart->pointsShown(), 3 * 1410);
    QCOMPARE(chart->chart()->series().size(), 6);

    // The chart is painted: the first line's colour is on screen.
    QTest::qWait(50);
    const QImage image = chart->grab().toImage();
    const QColor line = qobject_cast<QLineSeries *>(chart->chart()->series().first())->pen().color();
    int hits = 0;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            const QColor c = image.pixelColor(x, y);
            hits += std::abs(c.red() - line.red()) + std::abs(c.green() - line.green())
                        + std::abs(c.blue() - line.blue()) < 40;
        }
    }
    QVERIFY2(hits > 100, qPrintable(QString::number(hits)));
    saveShot(&window, QStringLiteral("history_model_day.png"));

    // A month of minutes is reduced to about two points per pixel, each
    // parameter drawn as its band from minimum to maximum with the mean
    // inside it as the line.
    window.setDay(modelledDay, HistorySpan::Month);
    QVERIFY(chart->pointsShown() <= 3 * chart->wantedPoints());
    QCOMPARE(chart->data().sampleCount, 1410);
    int bands = 0;
    for (QAbstractSeries *series : chart->chart()->series()) {
        auto *band = qobject_cast<QAreaSeries *>(series);
        if (!band)
            continue;
        ++bands;
        const QList<QPointF> low = band->lowerSeries()->points();
        const QList<QPointF> high = band->upperSeries()->points();
        QCOMPARE(low.size(), high.size());
        for (int i = 0; i < low.size(); ++i) {
            QCOMPARE(low[i].x(), high[i].x());
            QVERIFY(low[i].y() <= high[i].y());
        }
    }
    QCOMPARE(bands, 6); // three parameters, each broken where the link was down
    const HistoryData &month = chart->data();
    for (int col = 0; col < month.columns.size(); ++col) {
        for (int i = 0; i + 1 < month.pointCount(); ++i) {
            if (!month.bucketFirst[i] || month.bucketFirst[i + 1])
                continue;
            QVERIFY(month.values[col][i] <= month.means[col][i] + 1e-9);
            QVERIFY(month.means[col][i] <= month.values[col][i + 1] + 1e-9);
        }
    }
    saveShot(&window, QStringLiteral("history_model_month.png"));
}

void TestHistoryWindow::valueAxesShowRippleSmall_data()
{
    QTest::addColumn<QString>("unit");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::addColumn<double>("floor"); // NaN: not from zero
    QTest::addColumn<double>("span");  // the least span shown
    QTest::newRow("current from zero") << "A" << 4.9 << 5.1 << 0.0 << 5.1;
    QTest::newRow("power from zero") << "W" << 2850.0 << 2910.0 << 0.0 << 2910.0;
    // 2 % of mains ripple in a fifth of the size at least: 230 +- 23 V.
    QTest::newRow("voltage") << "V" << 227.7 << 232.3 << qQNaN() << 46.0;
    QTest::newRow("below zero") << "°C" << -5.0 << 3.0 << qQNaN() << 8.0;
    QTest::newRow("flat") << "" << 0.0 << 0.0 << 0.0 << 1.0;
}

void TestHistoryWindow::valueAxesShowRippleSmall()
{
    QFETCH(QString, unit);
    QFETCH(double, lo);
    QFETCH(double, hi);
    QFETCH(double, floor);
    QFETCH(double, span);
    const auto [low, high] = valueAxisRange(unit, lo, hi);
    QVERIFY(low <= lo && high >= hi);
    QVERIFY2(high - low >= span, qPrintable(QStringLiteral("%1 .. %2").arg(low).arg(high)));
    if (!std::isnan(floor))
        QCOMPARE(low, floor);
    else
        QVERIFY(low > 0 || lo < 0);
    // The values sit in the middle, not on the frame.
    if (std::isnan(floor))
        QVERIFY(qAbs((low + high) / 2 - (lo + hi) / 2) < 1e-9 || low == 0);
}

void TestHistoryWindow::emptyDaySaysSo()
{
    frmHistory window;
    window.show();
    window.setDay(modelledDay.addDays(1));
    QCOMPARE(window.chartView()->pointsShown(), 0);
    QCOMPARE(window.chartView()->chart()->title(), langText(QStringLiteral("History"), QStringLiteral("lblNoData")));
    QVERIFY(m_messages->texts.isEmpty());
}

void TestHistoryWindow::yieldTabShowsTheDay()
{
    frmHistory window;
    window.resize(1000, 620);
    window.show();
    window.setDay(modelledDay);
    window.tabs()->setCurrentWidget(window.yieldView());
    YieldView *yield = window.yieldView();
    QCOMPARE(yield->barCount(), 30);
    QVERIFY2(yield->total() > 15 && yield->total() < 25, qPrintable(QString::number(yield->total())));
    saveShot(&window, QStringLiteral("history_model_yield.png"));
    // A day whose counter rose too fast is marked, and the reason shown.
    DayYield marked;
    marked.deviceId = QStringLiteral("001");
    marked.day = modelledDay.addDays(-1);
    marked.flagged = YIELD_FLAG_TOO_FAST;
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) { return saveDayYield(db, marked, e); }));
    const auto shown = [&] {
        for (const QLabel *label : yield->findChildren<QLabel *>()) {
            if (label->text().contains(yieldFlagText(YIELD_FLAG_TOO_FAST)))
                return true;
        }
        return false;
    };
    QVERIFY(yield->reload());
    QVERIFY(shown());
    yield->showYear(true);
    QVERIFY(yield->reload());
    QCOMPARE(yield->barCount(), 12);
    QVERIFY(shown());
    QVERIFY(execSql(QStringLiteral("delete from histyield where day = '%1'").arg(marked.day.toString(Qt::ISODate))));
}

void TestHistoryWindow::devicesAndThePlantAreChosen()
{
    const QList<DeviceInfo> saved = stationBus().devices();
    stationBus().publishDevices({{QStringLiteral("001"), QStringLiteral("West"), 1, 2, QStringLiteral("3K"), true},
                                 {QStringLiteral("002"), QStringLiteral("East"), 2, 2, QStringLiteral("3K"), true}});
    QVERIFY(historyWrite([](QSqlDatabase &db, QString &e) {
        for (int minute = 0; minute < 24 * 60; ++minute) {
            HistorySample s{QDateTime(modelledDay, QTime(minute / 60, minute % 60)), {{2, 240.0}, {8, 700.0}}};
            s.deviceId = QStringLiteral("002");
            if (!insertSample(db, s, e))
                return false;
        }
        DayYield y;
        y.deviceId = QStringLiteral("002");
        y.day = modelledDay;
        y.energyKwh = 5;
        return saveDayYield(db, y, e);
    }));
    frmHistory window;
    window.resize(1000, 620);
    window.show();
    window.setDay(modelledDay);
    auto *devices = window.findChild<QComboBox *>(QStringLiteral("cmbDevice"));
    QVERIFY(devices);
    QCOMPARE(devices->count(), 3);
    QCOMPARE(devices->itemText(1), QStringLiteral("002 East"));
    QCOMPARE(devices->itemText(2), langText(QStringLiteral("History"), QStringLiteral("optPlant")));
    QCOMPARE(window.deviceId(), QStringLiteral("001"));
    const double ownYield = window.yieldView()->total();

    window.setCodes({QStringLiteral("VAC"), QStringLiteral("EKWH")});
    window.setDevice(QStringLiteral("002"));
    QCOMPARE(window.chartView()->data().sampleCount, 1440);
    QCOMPARE(window.chartView()->data().values[0][0], 240.0);
    QVERIFY(window.curveTitle().contains(QStringLiteral("002")));
    QCOMPARE(window.yieldView()->total(), 5.0);
    saveShot(&window, QStringLiteral("history_model_device.png"));

    // The plant: the energy counters summed, the voltage left out.
    window.setDevice(QString::fromLatin1(HISTORY_PLANT));
    QCOMPARE(window.chartView()->data().columns.size(), 1);
    QCOMPARE(window.chartView()->data().columns[0].code, QStringLiteral("EKWH"));
    QVERIFY(window.chartView()->data().values[0][600] > 700 + 1520);
    QVERIFY(qAbs(window.yieldView()->total() - ownYield - 5) < 0.05);
    QTemporaryDir dir;
    window.exportCsv(dir.filePath(QStringLiteral("plant.csv")));
    QFile file(dir.filePath(QStringLiteral("plant.csv")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains(langText(QStringLiteral("History"), QStringLiteral("optPlant")).toUtf8() + "\r\n"));
    window.setDevice(QStringLiteral("001"));
    stationBus().publishDevices(saved);
}

void TestHistoryWindow::settingsPageRefusesOutOfRange()
{
    HistorySettingsPage page;
    sysSettings.HisDataSamplePeriod = 0; // an old file's empty column
    sysSettings.hisdatakeephours = 720;
    page.load();
    QCOMPARE(page.periodField()->text(), QStringLiteral("60"));
    for (const char *bad : {"4", "3601", "ten", ""}) {
        page.periodField()->setText(QString::fromLatin1(bad));
        QVERIFY2(!page.validate().isEmpty(), bad);
    }
    page.periodField()->setText(QStringLiteral("3600"));
    page.keepField()->setText(QStringLiteral("-1"));
    QVERIFY(!page.validate().isEmpty());
    page.keepField()->setText(QStringLiteral("0"));
    QVERIFY(page.validate().isEmpty());
    QVERIFY(page.save());
    QCOMPARE(sysSettings.HisDataSamplePeriod, 3600);
    QCOMPARE(sysSettings.hisdatakeephours, 0);
    sysSettings.HisDataSamplePeriod = 60;
}

void TestHistoryWindow::eventViewerExports()
{
    resetEventThrottle();
    QVERIFY(logEvent(QStringLiteral("Grid \"over\" voltage, L1"), QStringLiteral("001"), QString(), true));
    frmViewEventLogDb viewer;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("events.csv"));
    QString error;
    QVERIFY2(viewer.exportEvents(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray csv = file.readAll();
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QVERIFY(csv.contains(",\"Grid \"\"over\"\" voltage, L1\"\r\n"));
    // The time with its UTC offset, as every exported time.
    const QString row = QString::fromUtf8(csv).split(QStringLiteral("\r\n")).value(1);
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d,"))
                 .match(row)
                 .hasMatch(),
             qPrintable(row));
}

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
