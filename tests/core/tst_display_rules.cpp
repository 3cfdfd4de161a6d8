// Display rules and view layout arithmetic: bar, flow, auto-range, the
// animated line's phases, instrument scales, and the twips layouts.
#include "core/display_rules.h"
#include "core/view_layout.h"
#include "test_support.h"

#include <QTest>

using namespace vantoro;

class TestDisplayRules : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void barPositionClamps();
    void flowSpeedFromBar();
    void meterScaleOnlyGrows();
    void flowLineThreshold();
    void aniLinePhasesAndSegments();
    void meterDial();
    void odometerWheels();
    void designTags();
    void proportionalPlacement();
    void meterPattern();
    void trendPattern();
    void gridColumns();
    void numLed();
};

void TestDisplayRules::barPositionClamps()
{
    QCOMPARE(barPosition(8, 0, 16), 50.0f);
    QCOMPARE(barPosition(-1, 0, 16), 0.0f);
    QCOMPARE(barPosition(20, 0, 16), 100.0f);
    QCOMPARE(barPosition(5, 3, 3), 0.0f);
    QCOMPARE(barPosition(200, 198, 253), float((200.0f - 198.0f) / 55.0f * 100.0f));
}

void TestDisplayRules::flowSpeedFromBar()
{
    QCOMPARE(flowSpeed(0), 0);      // no current: standing still
    QCOMPARE(flowSpeed(0.5), 100);  // 100.5 truncated
    QCOMPARE(flowSpeed(63.7), 37);
    QCOMPARE(flowSpeed(100), 1);
    QCOMPARE(aniLineIntervalForSpeed(0), 0);
    QVERIFY(aniLineIntervalForSpeed(1) < aniLineIntervalForSpeed(100));
}

void TestDisplayRules::meterScaleOnlyGrows()
{
    QCOMPARE(meterUpperBound(750, 1000), 1300.0);
    QCOMPARE(meterUpperBound(1300, 100), 1300.0);
    // Within 1.1 of the bound counts as reaching it.
    QCOMPARE(meterUpperBound(10, 9), 9 * 1.3);
    QCOMPARE(meterUpperBound(10, 8.8), 10.0);
}

void TestDisplayRules::flowLineThreshold()
{
    QVERIFY(!flowVisible(0.1));
    QVERIFY(flowVisible(0.100001));
    QVERIFY(!flowVisible(-5));
}

void TestDisplayRules::aniLinePhasesAndSegments()
{
    int phase = 0;
    QList<int> forward;
    for (int i = 0; i < 4; ++i)
        forward << (phase = aniLineNextPhase(phase, false));
    QCOMPARE(forward, (QList<int>{1, 2, 0, 1}));
    phase = 0;
    QList<int> backward;
    for (int i = 0; i < 4; ++i)
        backward << (phase = aniLineNextPhase(phase, true));
    QCOMPARE(backward, (QList<int>{2, 1, 0, 2}));

    QCOMPARE(aniLineSegmentCount(4, 5), 1);
    QCOMPARE(aniLineSegmentCount(15, 5), 4);
    QCOMPARE(aniLineSegmentCount(0, 5), 1);
    QVERIFY(!aniLineSegmentShown(4, 1));
    QVERIFY(aniLineSegmentShown(4, 2));
}

void TestDisplayRules::meterDial()
{
    QCOMPARE(meterAngle(0, 0, 100), METER_START_ANGLE);
    QCOMPARE(meterAngle(100, 0, 100), METER_START_ANGLE - METER_SWEEP);
    QCOMPARE(meterAngle(50, 0, 100), METER_START_ANGLE - METER_SWEEP / 2);
    // Far beyond the scale the needle rests just past its end.
    QVERIFY(meterAngle(1e6, 0, 100) < METER_START_ANGLE - METER_SWEEP);
    QVERIFY(meterAngle(1e6, 0, 100) > METER_START_ANGLE - METER_SWEEP - 10);
    QCOMPARE(meterAngle(5, 0, 0), METER_START_ANGLE);

    QCOMPARE(meterTicks(0, 750), (QList<double>{0, 200, 400, 600}));
    QCOMPARE(meterTicks(0, 19.5), (QList<double>{0, 5, 10, 15}));
    QCOMPARE(meterTicks(-20, 80), (QList<double>{-20, 0, 20, 40, 60, 80}));
    QVERIFY(meterTicks(0, 0).isEmpty());
    QCOMPARE(scaleFraction(30, -25, 85), 0.5);
    QCOMPARE(scaleFraction(200, -25, 85), 1.0);
}

void TestDisplayRules::odometerWheels()
{
    OdometerReading r = odometerReading(12345.67, 7, 1);
    QCOMPARE(r.digits, (QList<int>{0, 1, 2, 3, 4, 5, 6}));
    QVERIFY(qAbs(r.roll - 0.7) < 1e-6);
    // More than the wheels hold wraps round, as a counter does.
    r = odometerReading(12345678.9, 7, 1);
    QCOMPARE(r.digits, (QList<int>{3, 4, 5, 6, 7, 8, 9}));
    QCOMPARE(odometerReading(-5, 3, 0).digits, (QList<int>{0, 0, 0}));
}

void TestDisplayRules::designTags()
{
    const auto r = parseDesignTag(QStringLiteral("120 45.5  900 255"));
    QVERIFY(r);
    QCOMPARE(*r, QRectF(120, 45.5, 900, 255));
    QCOMPARE(parseDesignTag(designTag(QRectF(1, 2, 3, 4))), std::optional<QRectF>(QRectF(1, 2, 3, 4)));
    QVERIFY(!parseDesignTag(QStringLiteral("1 2 3")));
    QVERIFY(!parseDesignTag(QStringLiteral("1 2 x 4")));
    QVERIFY(!parseDesignTag(QString()));
}

void TestDisplayRules::proportionalPlacement()
{
    // Twice as wide, half again as tall: left and width double, top and
    // height grow by 1.5, top by the picture's stretch as well.
    const QRectF r = resizeControlRect(QSizeF(10000, 6000), QRectF(1000, 2000, 900, 270), QSizeF(20000, 9000), 0);
    QCOMPARE(r.left(), 2000.0);
    QCOMPARE(r.width(), 1800.0);
    QCOMPARE(r.top(), 3000 * STATE_IMAGE_STRETCH);
    QCOMPARE(r.height(), 405.0);
    QCOMPARE(resizeControlRect(QSizeF(100, 100), QRectF(0, 10, 5, 5), QSizeF(100, 100), 50).top(), 10 * 1.02 + 50);
    QCOMPARE(fontPointsForHeight(270), 11);
    QCOMPARE(fontPointsForHeight(22), 0);
    QCOMPARE(twipsToPixels(3000, 96), 200);
    QCOMPARE(pixelsToTwips(200, 96), 3000.0);
}

void TestDisplayRules::meterPattern()
{
    // c = min((10000-400)/3, (7000-400)/2) = min(3200, 3300).
    const auto rects = meterRects(10000, 7000);
    QCOMPARE(rects[0], QRectF(355, 200, 3200, 3200));
    QCOMPARE(rects[2], QRectF(355 + 6400, 200, 3200, 3200));
    QCOMPARE(rects[4], QRectF(355 + 3200, 3400, 3200, 3200));
    // Limited by the height this time: (5000-400)/2 = 2300.
    QCOMPARE(meterRects(10000, 5000)[5], QRectF(355 + 4600, 2500, 2300, 2300));
    QCOMPARE(meterRects(100, 100)[1].width(), 0.0);
}

void TestDisplayRules::trendPattern()
{
    // b = (7000 - 750) / 3 = 2083 (whole twips, integer division).
    const auto rects = trendRects(10000, 7000, 900);
    QCOMPARE(rects[0], QRectF(0, 100, 10000, 2083));
    QCOMPARE(rects[1], QRectF(0, 2183, 10000, 2083));
    QCOMPARE(rects[2], QRectF(0, 4266, 10000, 2083));
    QCOMPARE(rects[3], QRectF(0, 3 * 2083 - 400, 10000, 900));
    QCOMPARE(trendRects(10000, 7000.4, 900)[0].height(), 2083.0);
}

void TestDisplayRules::gridColumns()
{
    // w = 10333 - 333 = 10000.
    QCOMPARE(gridColumnWidths(10333), (std::array<int, 6>{3000, 3000, 1000, 1500, 1500, 722}));
    QCOMPARE(gridColumnWidths(343)[3], 2); // 10 x 0.15 = 1.5, to the even 2
    // Fitted to the visible width, the id column takes its share first.
    QCOMPARE(gridColumnWidthsInView(10722), (std::array<int, 6>{3000, 3000, 1000, 1500, 1500, 722}));
}

void TestDisplayRules::numLed()
{
    const NumLedSizes design = numLedSizes(790, 260);
    QCOMPARE(design.digitHeight, 10);
    QCOMPARE(design.digitWidth, 7);
    QCOMPARE(design.segmentWidth, 0.05);
    QCOMPARE(design.digitSpacing, 0.09);
    const NumLedSizes twice = numLedSizes(1580, 520);
    QCOMPARE(twice.digitHeight, 20);
    QCOMPARE(twice.digitWidth, 14);
    QCOMPARE(twice.segmentWidth, 0.1);
}

QTEST_GUILESS_MAIN(TestDisplayRules)
#include "tst_display_rules.moc"
