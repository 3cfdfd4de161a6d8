// The station's own controls: the animated line, the blinking blocks, the
// property bags they are saved in, and the instruments' behaviour.
#include "core/property_bag.h"
#include "test_support.h"
#include "ui/controls/ani_line.h"
#include "ui/controls/kvo_block.h"
#include "ui/controls/meter_gauge.h"
#include "ui/controls/number_led_meter.h"
#include "ui/controls/odo_meter.h"
#include "ui/controls/state_diagram.h"
#include "ui/controls/trend_chart.h"
#include "ui/twips.h"

#include <QApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace vantoro;

namespace {

QString shownPattern(const AniLine &line)
{
    QString s;
    for (int i = 0; i < line.segmentCount(); ++i)
        s += line.segmentShown(i) ? QLatin1Char('#') : QLatin1Char('.');
    return s;
}

} // namespace

class TestControls : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void aniLineGapMovesForward();
    void aniLineGapMovesBackward();
    void aniLineShortLines();
    void aniLineInactiveIsSolidBar();
    void aniLineSpeed();
    void aniLinePropertiesRoundTrip();
    void blockBlinksAndRestores();
    void blockPropertiesRoundTrip();
    void meterRepaintsOnlyOnChange();
    void ledShowsWhatFits();
    void odometerSizeFromDigits();
    void trendKeepsOnlyItsWindow();
    void theSunDimsWhileTheDeviceSleeps();
};

void TestControls::aniLineGapMovesForward()
{
    AniLine line;
    line.resize(twipsToPx(AniLine::SEGMENT_TWIPS, &line) * 6, 4);
    line.setBActive(true);
    QCOMPARE(line.segmentCount(), 7);
    QVERIFY(line.isAnimating());
    QCOMPARE(line.tickInterval(), AniLine::TICK_MS);
    line.tick();
    QCOMPARE(line.phase(), 1);
    QCOMPARE(shownPattern(line), QStringLiteral("#.##.##"));
    line.tick();
    QCOMPARE(shownPattern(line), QStringLiteral("##.##.#"));
    line.tick();
    QCOMPARE(shownPattern(line), QStringLiteral(".##.##."));
}

void TestControls::aniLineGapMovesBackward()
{
    AniLine line;
    line.setBVertical(true);
    line.resize(4, twipsToPx(AniLine::SEGMENT_TWIPS, &line) * 6);
    line.setDirection(true);
    line.setBActive(true);
    QCOMPARE(line.segmentCount(), 7);
    line.tick();
    QCOMPARE(line.phase(), 2);
    QCOMPARE(shownPattern(line), QStringLiteral("##.##.#"));
    line.tick();
    QCOMPARE(shownPattern(line), QStringLiteral("#.##.##"));
    line.tick();
    QCOMPARE(shownPattern(line), QStringLiteral(".##.##."));
}

void TestControls::aniLineShortLines()
{
    const int seg = twipsToPx(AniLine::SEGMENT_TWIPS, nullptr);
    AniLine tiny;
    tiny.resize(seg - 1, 4);
    tiny.setBActive(true);
    QCOMPARE(tiny.segmentCount(), 1);
    // Still three phases: the one segment is the gap every third tick.
    QStringList seen;
    for (int i = 0; i < 3; ++i) {
        tiny.tick();
        seen << shownPattern(tiny);
    }
    QCOMPARE(seen, (QStringList{"#", "#", "."}));

    AniLine three;
    three.resize(seg * 2, 4);
    three.setBActive(true);
    QCOMPARE(three.segmentCount(), 3);
    QList<int> phases;
    for (int i = 0; i < 6; ++i) {
        three.tick();
        phases << three.phase();
    }
    QCOMPARE(phases, (QList<int>{1, 2, 0, 1, 2, 0}));
}

void TestControls::aniLineInactiveIsSolidBar()
{
    AniLine line;
    line.resize(100, 4);
    line.setBActive(true);
    line.tick();
    line.setBActive(false);
    QVERIFY(!line.isAnimating());
    QCOMPARE(shownPattern(line), QString(line.segmentCount(), QLatin1Char('.')));

    // A double-click switches the animation on and off.
    line.show();
    QTest::mouseDClick(&line, Qt::LeftButton);
    QVERIFY(line.bActive());
    QVERIFY(line.isAnimating());
    QTest::mouseDClick(&line, Qt::LeftButton);
    QVERIFY(!line.bActive());
}

void TestControls::aniLineSpeed()
{
    AniLine line;
    line.resize(100, 4);
    line.setBActive(true);
    line.setSpeed(0);
    QVERIFY(!line.isAnimating());
    line.setSpeed(1);
    QVERIFY(line.isAnimating());
    const int fast = line.tickInterval();
    line.setSpeed(100);
    QVERIFY(line.tickInterval() > fast);
}

void TestControls::aniLinePropertiesRoundTrip()
{
    AniLine line;
    QSignalSpy changed(&line, &AniLine::propertyChanged);
    line.setBActive(true);
    line.setDirection(true);
    line.setBVertical(true);
    line.setBorderStyle(0);
    line.setBackColor(0x123456);
    QCOMPARE(changed.count(), 5);
    QCOMPARE(changed.at(0).at(0).toString(), QStringLiteral("bActive"));

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("bag.ini"));
    {
        PropertyBag bag;
        line.writeProperties(bag);
        QSettings store(file, QSettings::IniFormat);
        bag.save(store, QStringLiteral("AniLine2_0"));
    }
    QSettings store(file, QSettings::IniFormat);
    AniLine copy;
    copy.readProperties(PropertyBag::load(store, QStringLiteral("AniLine2_0")));
    QVERIFY(copy.bActive());
    QVERIFY(copy.isAnimating());
    QVERIFY(copy.direction());
    QVERIFY(copy.bVertical());
    QCOMPARE(copy.borderStyle(), 0);
    QCOMPARE(copy.backColor(), quint32(0x123456));

    // Missing names give the defaults.
    AniLine fresh;
    fresh.setBorderStyle(0);
    fresh.readProperties(PropertyBag());
    QVERIFY(!fresh.bActive());
    QCOMPARE(fresh.borderStyle(), 1);
    QCOMPARE(fresh.backColor(), AniLine::DEFAULT_BACK_COLOR);
}

void TestControls::blockBlinksAndRestores()
{
    kvoD2A block;
    QCOMPARE(block.shownImage(), 0);
    QCOMPARE(block.interval(), 1000);
    block.setError(true);
    QVERIFY(block.isBlinking());
    block.tick();
    QCOMPARE(block.shownImage(), 1);
    block.tick();
    QCOMPARE(block.shownImage(), 0);
    block.tick();
    QCOMPARE(block.shownImage(), 1);
    // Clearing the error brings the normal picture back at once.
    block.setError(false);
    QVERIFY(!block.isBlinking());
    QCOMPARE(block.shownImage(), 0);
    // The two pictures differ.
    block.resize(66, 48);
    const QImage normal = block.picture();
    block.setError(true);
    block.tick();
    if (block.shownImage() == 0)
        block.tick();
    QCOMPARE(block.shownImage(), 1);
    QVERIFY(block.picture() != normal);

    // The blink runs on its own timer at the set interval.
    kvoBat battery;
    battery.setInterval(20);
    battery.setError(true);
    QTRY_COMPARE_WITH_TIMEOUT(battery.shownImage(), 1, 500);
    QCOMPARE(blockPictureSize(battery.kind()), QSize(65, 46));
}

void TestControls::blockPropertiesRoundTrip()
{
    kvoA2D block;
    QSignalSpy changed(&block, &KvoBlock::propertyChanged);
    block.setForeColor(0x0000FF);
    block.setEnabledProperty(true);
    block.setBackStyle(1);
    block.setBorderStyle(1);
    block.setBackColor(0x00FF00);
    block.setInterval(250);
    QFont f = block.font();
    f.setPointSize(17);
    block.setBlockFont(f);
    QCOMPARE(changed.count(), 7);

    PropertyBag bag;
    block.writeProperties(bag);
    kvoA2D copy;
    copy.readProperties(bag);
    QCOMPARE(copy.foreColor(), quint32(0x0000FF));
    QVERIFY(copy.enabledProperty());
    QCOMPARE(copy.backStyle(), 1);
    QCOMPARE(copy.borderStyle(), 1);
    QCOMPARE(copy.backColor(), quint32(0x00FF00));
    QCOMPARE(copy.interval(), 250);
    QCOMPARE(copy.font().pointSize(), 17);
    QVERIFY(!copy.error());

    // A picture set from outside is kept; defaults where names are missing.
    QImage image(10, 10, QImage::Format_ARGB32);
    image.fill(Qt::red);
    block.setPicture(image);
    PropertyBag withPicture;
    block.writeProperties(withPicture);
    kvoA2D third;
    third.readProperties(withPicture);
    QCOMPARE(third.shownImage(), -1);
    QCOMPARE(third.picture().pixelColor(5, 5), QColor(Qt::red));
    kvoA2D plain;
    plain.readProperties(PropertyBag());
    QCOMPARE(plain.interval(), KvoBlock::DEFAULT_INTERVAL_MS);
    QVERIFY(!plain.enabledProperty());
}

void TestControls::meterRepaintsOnlyOnChange()
{
    MeterGauge meter;
    meter.resize(200, 200);
    meter.setScale(0, 750);
    meter.setValue(365.5);
    meter.show();
    QVERIFY(QTest::qWaitForWindowExposed(&meter));
    QTRY_VERIFY(meter.paintCount() > 0);
    QTest::qWait(20);
    const int painted = meter.paintCount();
    meter.setScale(0, 750);
    meter.setValue(365.5);
    meter.setValueColor(0);
    QTest::qWait(30);
    QCOMPARE(meter.paintCount(), painted);
    meter.setValueColor(0x0000FF);
    QTRY_VERIFY(meter.paintCount() > painted);
    meter.setUnit(QStringLiteral("V"));
    QCOMPARE(meter.valueText(), QStringLiteral("365.5 V"));
}

void TestControls::ledShowsWhatFits()
{
    NumberLedMeter led;
    led.setValue(12346.34);
    QCOMPARE(led.displayText(), QStringLiteral("12346.3"));
    led.setFormat(QStringLiteral("###,###,###0.0"));
    QCOMPARE(led.displayText(), QStringLiteral("12346.3"));
    led.setValue(123456789);
    QCOMPARE(led.displayText(), QStringLiteral("-------"));
}

void TestControls::odometerSizeFromDigits()
{
    OdoMeter odo;
    odo.setDigitSize(20, 30);
    QCOMPARE(odo.size(), QSize(7 * 20 + 4, 34));
    odo.setWheels(5, 2);
    QCOMPARE(odo.wheelCount(), 7);
}

void TestControls::trendKeepsOnlyItsWindow()
{
    TrendChart chart;
    const QDateTime t0(QDate(2024, 5, 1), QTime(12, 0));
    chart.setTimeRange(t0.addSecs(-180), t0);
    // A week of polling at one sample a second would be 600,000 points;
    // ten windows' worth is enough to show the count stays put.
    for (int i = 1; i <= 2000; ++i)
        chart.addSample(i % 7, t0.addSecs(i));
    QVERIFY2(chart.pointCount() <= 182, qPrintable(QString::number(chart.pointCount())));
    QVERIFY(chart.pointCount() >= 180);
    QCOMPARE(chart.windowEnd(), t0.addSecs(2000));
    QCOMPARE(chart.windowStart(), t0.addSecs(2000 - 180));
    // A sample inside the window does not move it.
    chart.addSample(1, t0.addSecs(1990));
    QCOMPARE(chart.windowEnd(), t0.addSecs(2000));
    QCOMPARE(chart.pointCount(1), 0);
    // Segments left behind by gaps leave with the window too.
    for (int i = 2001; i <= 2400; ++i) {
        if (i % 10 == 0)
            chart.breakLines();
        chart.addSample(i % 7, t0.addSecs(i));
    }
    QVERIFY(chart.segmentCount() <= 20);
    QVERIFY(chart.pointCount() <= 182 + 20);
}

void TestControls::theSunDimsWhileTheDeviceSleeps()
{
    StateDiagram diagram;
    diagram.resize(689, 440); // one pixel a design unit
    auto sunCentre = [&diagram] {
        const QImage image = diagram.grab().toImage();
        return image.pixelColor(46, 42);
    };
    const QColor day = sunCentre();
    diagram.setAsleep(true);
    const QColor night = sunCentre();
    QVERIFY2(night.saturation() < day.saturation() / 2,
             qPrintable(QStringLiteral("%1 -> %2").arg(day.name(), night.name())));
}

QTEST_MAIN(TestControls)
#include "tst_controls.moc"
