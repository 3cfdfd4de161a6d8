// The views of the main window: what each shows after a poll, how the
// meters range, when the flow lines run, that hidden views are left alone
// but the trends keep sampling, and how the views are laid out; the Plant
// view's tiles and totals and the device selector.
#include "acquisition/fake_serial_port.h"
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/view_layout.h"
#include "test_support.h"
#include "ui/controls/ani_line.h"
#include "ui/controls/meter_gauge.h"
#include "ui/controls/number_led_meter.h"
#include "ui/controls/odo_meter.h"
#include "ui/controls/slider_temp.h"
#include "ui/controls/state_diagram.h"
#include "ui/controls/trend_chart.h"
#include "ui/main/frm_main.h"
#include "ui/main/device_selector.h"
#include "ui/main/grid_view.h"
#include "ui/main/main_views.h"
#include "ui/main/meter_view.h"
#include "ui/main/plant_view.h"
#include "ui/main/state_view.h"
#include "ui/main/trend_view.h"
#include "ui/twips.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QProgressBar>
#include <QSettings>
#include <QSlider>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

constexpr quint32 RED = 0x0000FF;

// The device the views are handed, its table loaded from the database.
std::unique_ptr<Device> viewedDevice;

void setValue(int id, const QVariant &value)
{
    viewedDevice->table()[size_t(id)].paravalue = value;
}

void setFault(int id, bool fault)
{
    viewedDevice->table()[size_t(id)].founderror = fault ? 1 : 0;
    viewedDevice->table()[size_t(id)].awaitingReply = false; // as a reply leaves it
}

DeviceInfo plantDevice(int n)
{
    const QString id = QStringLiteral("%1").arg(n, 3, 10, QLatin1Char('0'));
    return DeviceInfo{id, QStringLiteral("Roof %1").arg(n), n, 2, QStringLiteral("3K"), true};
}

ParameterReading reading(const char *code, double value)
{
    ParameterReading p;
    p.code = QString::fromLatin1(code);
    p.numeric = true;
    p.value = value;
    return p;
}

// A report of device `n`; a link that is up carries its power and counter.
CycleReport plantReport(int n, bool up, double watts, double counterKwh, const QDateTime &time)
{
    const DeviceInfo d = plantDevice(n);
    CycleReport r;
    r.time = time;
    r.linkUp = up;
    r.replied = up;
    r.polling = true;
    r.deviceId = d.id;
    r.deviceName = d.name;
    r.address = d.address;
    r.protocol = d.protocol;
    r.rating = d.rating;
    if (up) {
        r.lastReplyTime = time;
        r.parameters << reading(OUTPUT_POWER_CODE, watts) << reading(ENERGY_COUNTER_CODE, counterKwh);
    }
    return r;
}

QColor textColour(const QLabel *label)
{
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestViews : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup()
    {
        viewedDevice.reset();
        m_messages.reset();
    }
    void gridHasEnabledParametersOnly();
    void gridFollowsThePolls();
    void meterScaleGrowsAndStays();
    void stateLabelsBarAndCounters();
    void flowLinesRunWithCurrent();
    void onlyVisibleViewsRefreshButTrendsSample();
    void stateScalesWithTheArea();
    void windowSwitchesAndLaysOutViews();
    void plantShowsEachDeviceAndTheTotals();
    void plantOfManyWrapsAndFollowsTheLine();
    void selectorStepsThroughTheDevices();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
};

void TestViews::init()
{
    m_home.reset();
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    quitRequested = false;
    QVERIFY(loadSystemSettings());
    viewedDevice = std::make_unique<Device>();
    QVERIFY(viewedDevice->loadTable());
}

void TestViews::gridHasEnabledParametersOnly()
{
    viewedDevice->table()[17].enabled = 0;
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.createStructure();
    GridView *grid = views.gridView();
    QList<int> ids;
    for (int row = 0; row < grid->rowCount(); ++row)
        ids << grid->item(row, GridView::COL_ID)->text().toInt();
    QList<int> enabled;
    for (int id = 0; id < PARAM_SLOTS; ++id) {
        if (viewedDevice->table()[size_t(id)].enabled != 0)
            enabled << id;
    }
    QCOMPARE(ids, enabled);
    QVERIFY(!ids.contains(17));
    QVERIFY(!ids.contains(9)); // disabled in the default table

    QCOMPARE(grid->horizontalHeaderItem(0)->text(), langText(QStringLiteral("frmMain"), QStringLiteral("Name")));
    QCOMPARE(grid->horizontalHeaderItem(5)->text(), langText(QStringLiteral("frmMain"), QStringLiteral("ID")));
    const int energyRow = int(ids.indexOf(8));
    QCOMPARE(grid->item(energyRow, 4)->text(), QStringLiteral("999,999.0"));
    QCOMPARE(grid->item(energyRow, 2)->text(), QStringLiteral("kWh"));
    QVERIFY(grid->item(energyRow, 1)->textAlignment() & Qt::AlignRight);
    // Status parameters have no limits to show.
    QCOMPARE(grid->item(int(ids.indexOf(15)), 3)->text(), QString());
}

void TestViews::gridFollowsThePolls()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.createStructure();
    views.showView(VIEW_GRID);
    GridView *grid = views.gridView();
    auto rowOf = [grid](int id) {
        for (int row = 0; row < grid->rowCount(); ++row) {
            if (grid->item(row, GridView::COL_ID)->text().toInt() == id)
                return row;
        }
        return -1;
    };
    grid->selectRow(rowOf(3));
    setValue(2, 231.46);
    setFault(2, true);
    setValue(14, QStringLiteral("运行中"));
    views.refreshViews();
    QCOMPARE(grid->item(rowOf(2), 1)->text(), QStringLiteral("231.5"));
    QCOMPARE(grid->item(rowOf(2), 1)->foreground().color(), QColor(Qt::red));
    QCOMPARE(grid->item(rowOf(14), 1)->text(), QStringLiteral("运行中"));
    QCOMPARE(grid->item(rowOf(3), 1)->foreground().color(), QColor(Qt::black));
    QCOMPARE(grid->currentRow(), rowOf(3));

    setFault(2, false);
    views.refreshGrid();
    QCOMPARE(grid->item(rowOf(2), 1)->foreground().color(), QColor(Qt::black));
}

void TestViews::meterScaleGrowsAndStays()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.setupMeters();
    MeterView *meters = views.meterView();
    MeterGauge *dcVolts = meters->meter(0);
    QCOMPARE(dcVolts->lowerBound(), 0.0);
    QCOMPARE(dcVolts->upperBound(), 750.0); // 500 x 1.5
    QCOMPARE(meters->meter(5)->upperBound(), 253.0 * 16.0);

    setValue(4, 1000.0);
    setFault(4, true);
    views.refreshPicMeter();
    QCOMPARE(dcVolts->upperBound(), 1300.0);
    QCOMPARE(dcVolts->rangeMax(), 1300.0);
    QCOMPARE(dcVolts->value(), 1000.0);
    QCOMPARE(dcVolts->valueColor(), RED);

    setValue(4, 100.0);
    setFault(4, false);
    views.refreshPicMeter();
    QCOMPARE(dcVolts->upperBound(), 1300.0);
    QCOMPARE(dcVolts->value(), 100.0);
    QCOMPARE(dcVolts->valueColor(), quint32(0));

    setValue(2, 230.0);
    setValue(3, 10.0);
    views.refreshPicMeter();
    QCOMPARE(meters->meter(5)->value(), 2300.0);
    QCOMPARE(meters->meter(3)->value(), 230.0);
    QCOMPARE(meters->meter(3)->caption(), viewedDevice->table()[2].paraname);
}

void TestViews::stateLabelsBarAndCounters()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.setupMeters();
    StateView *state = views.stateView();
    setValue(4, 365.5);
    setValue(5, 6.92);
    setValue(2, 230.04);
    setValue(3, 8.0);
    setValue(6, 45.2f);
    setValue(7, -3.25);
    setValue(8, 12345.6);
    setFault(5, true);
    views.refreshPicState();

    QCOMPARE(state->label(QStringLiteral("lblDc"), 0)->text(), QStringLiteral("365.5 V"));
    QCOMPARE(state->label(QStringLiteral("lblDc"), 1)->text(), QStringLiteral("6.92 A"));
    QCOMPARE(state->label(QStringLiteral("lblDc"), 2)->text(), QStringLiteral("2,529.3 W"));
    QCOMPARE(state->label(QStringLiteral("Label1"), 0)->text(), QStringLiteral("230.0 V"));
    QCOMPARE(state->label(QStringLiteral("Label1"), 2)->text(), QStringLiteral("1,840.3 W"));
    QCOMPARE(state->label(QStringLiteral("Label1"), 3)->text(), QStringLiteral("45.2 °C"));
    // The temperature under the inverter says it is the module's.
    QVERIFY(!state->label(QStringLiteral("lblTmod"))->text().isEmpty());
    QCOMPARE(state->label(QStringLiteral("lblTemp"))->text(), QStringLiteral("-3.3 °C"));
    QCOMPARE(state->label(QStringLiteral("lblkwh"), 0)->text(), QStringLiteral("12,345.6 kWh"));
    QCOMPARE(textColour(state->label(QStringLiteral("lblDc"), 1)), QColor(Qt::red));
    QCOMPARE(textColour(state->label(QStringLiteral("lblDc"), 0)), QColor(Qt::black));
    QCOMPARE(state->sliderTemp()->value(), double(45.2f));
    QCOMPARE(state->sliderTempModule()->minimum(), -25.0);
    QCOMPARE(state->led()->value(), 12345.6);
    QCOMPARE(state->odometer()->value(), 12345.6);

    // The bar and the current line's pace: 8 A of 0..16 A is half way.
    QCOMPARE(state->bar()->value(), 50);
    QCOMPARE(state->meterLine()->speed(), 51);
    setValue(3, 40.0);
    views.refreshPicState();
    QCOMPARE(state->bar()->value(), 100);
    QCOMPARE(state->meterLine()->speed(), 1);
    setValue(3, -2.0);
    views.refreshPicState();
    QCOMPARE(state->bar()->value(), 0);
    QCOMPARE(state->meterLine()->speed(), 0);
    QVERIFY(!state->meterLine()->isAnimating());
    QProgressBar flat;
    setBarValue(&flat, 5, 3, 3);
    QCOMPARE(flat.value(), 0);
    QCOMPARE(flat.maximum(), 100);

    // The operator's slider sets the pace and shows it.
    state->slider()->setValue(30);
    QCOMPARE(state->label(QStringLiteral("lblkwh"), 2)->text(), QStringLiteral("30"));
    QCOMPARE(state->meterLine()->speed(), 30);
}

void TestViews::flowLinesRunWithCurrent()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    StateView *state = views.stateView();
    setValue(5, 0.2);
    setValue(3, 0.1);
    views.checkWorkMode();
    QVERIFY(state->flowLine(0)->isVisibleTo(state));
    QVERIFY(!state->flowLine(1)->isVisibleTo(state));
    setValue(3, 0.11);
    setValue(5, 0.0);
    views.checkWorkMode();
    QVERIFY(state->flowLine(1)->isVisibleTo(state));
    QVERIFY(!state->flowLine(0)->isVisibleTo(state));
    QVERIFY(state->flowLine(1)->bActive());
    // The cables under the flow lines are plain bars.
    QVERIFY(!state->cableLine(0)->bActive());
    QVERIFY(state->cableLine(1)->isVisibleTo(state));
}

void TestViews::onlyVisibleViewsRefreshButTrendsSample()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.createStructure();
    views.setupMeters();
    views.setPicTrendBounds();
    views.showView(VIEW_METER);
    QCOMPARE(views.visibleView(), VIEW_METER);
    setValue(4, 300.0);
    setValue(2, 231.0);
    views.refreshViews();
    views.refreshViews();
    QCOMPARE(views.meterView()->meter(0)->value(), 300.0);
    QCOMPARE(views.stateView()->label(QStringLiteral("lblDc"), 0)->text(), QString());
    QCOMPARE(views.gridView()->item(2, 1)->text(), QStringLiteral("0.0"));
    // The trends sample replied cycles only, whichever view is shown, and a
    // cycle without a reply leaves a gap rather than a repeated value.
    TrendView *trends = views.trendView();
    for (int i = 0; i < 3; ++i)
        QCOMPARE(trends->chart(i)->pointCount(), 0);
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(10);
    CycleReport report;
    report.deviceId = viewedDevice->id(); // the views take the reports of the device they show
    const auto reading = [](int id, const char *code, double value) {
        ParameterReading r;
        r.id = id;
        r.code = QString::fromLatin1(code);
        r.numeric = true;
        r.value = value;
        return r;
    };
    report.parameters << reading(4, "VDC", 300.0) << reading(5, "IDC", 2.0) << reading(3, "IAC", 1.0);
    const auto cycle = [&report](const QDateTime &time, bool replied) {
        report.time = time;
        report.replied = replied;
        stationBus().publishCycle(report);
    };
    cycle(t0, true);
    cycle(t0.addSecs(1), true);
    cycle(t0.addSecs(2), false);
    cycle(t0.addSecs(30), false);
    for (int i = 0; i < TrendView::CHARTS; ++i)
        QCOMPARE(trends->chart(i)->windowEnd(), t0.addSecs(30));
    cycle(t0.addSecs(31), true);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(trends->chart(i)->pointCount(), 3);
        QCOMPARE(trends->chart(i)->segmentCount(), 2);
    }
    QCOMPARE(trends->chart(3)->pointCount(), 0);
    QCOMPARE(trends->chart(0)->valueMaximum(), 650.0); // 500 x 1.3
    QCOMPARE(trends->chart(3)->valueMaximum(), 1.0);

    views.showView(-1);
    QCOMPARE(views.visibleView(), -1);
    views.showView(VIEW_STATE);
    QCOMPARE(views.stateView()->label(QStringLiteral("lblDc"), 0)->text(), QStringLiteral("300.0 V"));
    QVERIFY(!views.picMeter()->isVisibleTo(&views));
}

void TestViews::stateScalesWithTheArea()
{
    MainViews views;
    views.setDevice(viewedDevice.get());
    views.saveDesignGeometry();
    StateView *state = views.stateView();
    const QSize design(twipsToPx(stateDesign::WIDTH, &views), twipsToPx(stateDesign::HEIGHT, &views));
    views.resize(design);
    views.layoutViews();
    QLabel *label = state->label(QStringLiteral("lblDc"), 0);
    const QRect atDesign = label->geometry();
    const int designPoints = label->font().pointSize();
    QCOMPARE(designPoints, fontPointsForHeight(pxToTwips(atDesign.height(), label) + 0.5));
    const int designDigit = state->odometer()->digitWidth();

    views.resize(design * 2);
    views.layoutViews();
    QVERIFY(qAbs(label->width() - 2 * atDesign.width()) <= 2);
    QVERIFY(qAbs(label->x() - 2 * atDesign.x()) <= 2);
    QVERIFY(qAbs(label->height() - 2 * atDesign.height()) <= 2);
    QVERIFY(label->font().pointSize() >= 2 * designPoints - 1);
    QVERIFY(qAbs(state->odometer()->digitWidth() - 2 * designDigit) <= 1);
    QCOMPARE(state->diagram()->height(), int(design.height() * 2 * STATE_IMAGE_STRETCH + 0.5));
    // The numeric display's sizes follow its own size.
    const NumLedSizes led = numLedSizes(pxToTwips(state->led()->width(), state->led()),
                                        pxToTwips(state->led()->height(), state->led()));
    QCOMPARE(state->led()->digitWidth(), led.digitWidth);

    // A control without a usable design tag keeps its place.
    QLabel stray(state);
    stray.setGeometry(1, 2, 3, 4);
    stray.setProperty("Tag", QStringLiteral("1 2 3"));
    resizeControl(state, &stray, 0, 0);
    QCOMPARE(stray.geometry(), QRect(1, 2, 3, 4));
}

void TestViews::windowSwitchesAndLaysOutViews()
{
    sysSettings.viewmode = VIEW_TREND;
    frmMain window(nullptr, std::make_unique<FakeSerialPort>());
    window.show();
    QTest::qWait(20);
    MainViews *views = window.views();
    QCOMPARE(views->visibleView(), VIEW_TREND);

    window.toolbarClick(QStringLiteral("viewmeter"));
    QCOMPARE(sysSettings.viewmode, VIEW_METER);
    QCOMPARE(views->visibleView(), VIEW_METER);
    const auto rects = meterRects(pxToTwips(views->width(), views), pxToTwips(views->height(), views));
    MeterGauge *last = views->meterView()->meter(5);
    QCOMPARE(last->x(), twipsToPx(rects[5].left(), views));
    QCOMPARE(last->y(), twipsToPx(rects[5].top(), views));

    window.toolbarClick(QStringLiteral("viewgrid"));
    QCOMPARE(views->visibleView(), VIEW_GRID);
    // The columns fit the grid's visible width, the id column included.
    GridView *grid = views->gridView();
    QCOMPARE(grid->columnWidth(0), grid->columnWidth(1));
    int total = 0;
    for (int c = 0; c < grid->columnCount(); ++c)
        total += grid->columnWidth(c);
    const int visible = grid->viewport()->width();
    QVERIFY2(total <= visible && total >= visible - 3 * GridView::COLUMNS,
             qPrintable(QStringLiteral("%1 in %2").arg(total).arg(visible)));

    // The window keeps a size at which the views stay readable.
    window.resize(20, 20);
    QTRY_COMPARE(window.width(), frmMain::twipsToPixels(11250, &window));
    QTRY_COMPARE(window.height(), frmMain::twipsToPixels(8250, &window));
    quitRequested = true;
    window.close();
}

void TestViews::plantShowsEachDeviceAndTheTotals()
{
    sysSettings.languageIndex = LANGUAGE_ENGLISH;
    StationBus bus;
    bus.publishDevices({plantDevice(1), plantDevice(2), plantDevice(3)});
    PlantView plant(bus);
    plant.resize(800, 500);
    plant.show();
    QCOMPARE(plant.tileIds(), QStringList({"001", "002", "003"}));
    // Nothing polled yet: no colour claims a state.
    QCOMPARE(plant.bulbOf(QStringLiteral("001")), QStringLiteral("bulble_grey"));

    const QDateTime morning(QDate(2026, 6, 1), QTime(10, 0));
    const QDateTime later = morning.addSecs(600);
    bus.publishCycle(plantReport(1, true, 1200, 100.0, morning));
    bus.publishCycle(plantReport(1, true, 1500, 100.2, later));
    bus.publishCycle(plantReport(2, false, 0, 0, later));
    CycleReport faulty = plantReport(3, true, 300, 50.0, later);
    faulty.faults << QStringLiteral("Grid over-voltage");
    faulty.alarm = true;
    bus.publishCycle(faulty);
    bus.publishRound(roundOf(bus.lastCycles(), true, later));

    QCOMPARE(plant.bulbOf(QStringLiteral("001")), QStringLiteral("bulble"));
    QCOMPARE(plant.bulbOf(QStringLiteral("002")), QStringLiteral("bulble_blue"));
    QCOMPARE(plant.bulbOf(QStringLiteral("003")), QStringLiteral("bulble_red"));
    auto *tile3 = plant.findChild<QWidget *>(QStringLiteral("tile003"));
    QVERIFY(tile3);
    auto *state3 = tile3->findChild<QLabel *>(QStringLiteral("state"));
    QCOMPARE(state3->text(), QStringLiteral("Grid over-voltage"));
    QVERIFY(state3->styleSheet().contains(QLatin1String("#d00000")));
    QVERIFY(tile3->findChild<QLabel *>(QStringLiteral("power"))->text().startsWith(QLatin1String("300")));
    auto *state2 = plant.findChild<QWidget *>(QStringLiteral("tile002"))->findChild<QLabel *>(QStringLiteral("state"));
    QVERIFY(!state2->styleSheet().contains(QLatin1String("#d00000")));

    // Power of the devices up, counters summed, today's yield per device.
    QVERIFY2(plant.findChild<QLabel *>(QStringLiteral("lblPlantPower"))->text().contains(QLatin1String("1.80")),
             qPrintable(plant.findChild<QLabel *>(QStringLiteral("lblPlantPower"))->text()));
    QVERIFY(plant.findChild<QLabel *>(QStringLiteral("lblPlantEnergy"))->text().contains(QLatin1String("150.2")));
    QVERIFY(plant.todayYieldKwh(QStringLiteral("001")));
    QCOMPARE(*plant.todayYieldKwh(QStringLiteral("001")), 0.2);
    QVERIFY(!plant.todayYieldKwh(QStringLiteral("002")));
    QVERIFY(plant.findChild<QLabel *>(QStringLiteral("lblPlantToday"))->text().contains(QLatin1String("0.2")));
    QVERIFY(plant.findChild<QLabel *>(QStringLiteral("lblPlantUp"))->text().startsWith(QLatin1String("2")));

    // Asleep and down is grey, not lost; a disabled device is grey.
    CycleReport asleep = plantReport(2, false, 0, 0, later.addSecs(60));
    asleep.asleep = true;
    bus.publishCycle(asleep);
    QCOMPARE(plant.bulbOf(QStringLiteral("002")), QStringLiteral("bulble_grey"));
    DeviceInfo off = plantDevice(1);
    off.enabled = false;
    bus.publishDevices({off, plantDevice(2), plantDevice(3)});
    QCOMPARE(plant.bulbOf(QStringLiteral("001")), QStringLiteral("bulble_grey"));

    QSignalSpy chosen(&plant, &PlantView::deviceChosen);
    QTest::mouseClick(tile3, Qt::LeftButton);
    QCOMPARE(chosen.count(), 1);
    QCOMPARE(chosen.at(0).at(0).toString(), QStringLiteral("003"));
}

void TestViews::plantOfManyWrapsAndFollowsTheLine()
{
    StationBus bus;
    QList<DeviceInfo> line;
    for (int n = 1; n <= 32; ++n)
        line << plantDevice(n);
    bus.publishDevices(line);
    PlantView plant(bus);
    plant.resize(1000, 600);
    plant.show();
    QCOMPARE(plant.tileIds().size(), 32);
    const int wide = plant.columnCount();
    QVERIFY(wide >= 3);
    plant.resize(300, 600);
    QCOMPARE(plant.columnCount(), 1);
    // Removed devices lose their tile, and a new one gets one in its place.
    bus.publishDevices({plantDevice(1), plantDevice(5)});
    QCOMPARE(plant.tileIds(), QStringList({"001", "005"}));
    QVERIFY(!plant.findChild<QWidget *>(QStringLiteral("tile002")));
}

void TestViews::selectorStepsThroughTheDevices()
{
    StationBus bus;
    bus.publishDevices({plantDevice(1)});
    DeviceSelector selector(bus);
    QSignalSpy selected(&selector, &DeviceSelector::selected);
    // One device: nothing to choose, and nothing shows.
    QCOMPARE(selector.selectedId(), QStringLiteral("001"));
    QVERIFY(selector.combo()->isHidden());
    QVERIFY(!selector.nextAction()->isEnabled());

    bus.publishDevices({plantDevice(1), plantDevice(2), plantDevice(3)});
    QVERIFY(!selector.combo()->isHidden());
    QCOMPARE(selector.combo()->itemText(1), QStringLiteral("002 Roof 2"));
    QCOMPARE(selected.count(), 0);
    QVERIFY(selector.select(QStringLiteral("003")));
    QVERIFY(!selector.select(QStringLiteral("009")));
    QCOMPARE(selector.selectedId(), QStringLiteral("003"));
    selector.nextAction()->trigger();
    QCOMPARE(selector.selectedId(), QStringLiteral("001"));
    selector.previousAction()->trigger();
    QCOMPARE(selector.selectedId(), QStringLiteral("003"));
    QCOMPARE(selected.count(), 3);
    QCOMPARE(selector.nextAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_PageDown));

    // The device shown leaves the line: the first takes its place.
    bus.publishDevices({plantDevice(1), plantDevice(2)});
    QCOMPARE(selector.selectedId(), QStringLiteral("001"));
    QCOMPARE(selected.count(), 4);
    QCOMPARE(selected.last().at(0).toString(), QStringLiteral("001"));
    bus.publishDevices({plantDevice(1), plantDevice(2)});
    QCOMPARE(selected.count(), 4);
}

QTEST_MAIN(TestViews)
#include "tst_views.moc"
