// Decoding replies of both protocol versions into the parameter table.
#include "acquisition/reply_decoding.h"
#include "test_support.h"

#include <QtTest>

using namespace vantoro;

namespace {

// Written from the reply layouts: address 1; words 2300, 1000, 4000, 500,
// 0x8005, 0x0005; energy all ones; status 0x0001.
const QByteArray goldenV1 = QByteArray::fromHex(
    "EB9001" "FC08E803A00FF401" "05800500" "FFFFFF" "0100" "00000000000000000000" "1C07" "0D");
const QByteArray goldenV2 = QByteArray::fromHex(
    "01031B00" "FC08E803A00FF401" "05800500" "FFFFFFFF" "0100" "000000000000000000" "A85B");

ParamTable makeTable()
{
    ParamTable t;
    for (int row = 0; row < PARAM_SLOTS; ++row) {
        ParamRecord &p = t[size_t(row)];
        p.paraid = QString::number(row);
        p.multiple = 1;
        p.warningenabled = 1;
        p.rangel = 0;
        p.rangeu = 1000;
        p.srcstring = QStringLiteral("fault %1").arg(row);
        p.okstring = QStringLiteral("ok %1").arg(row);
    }
    t[2].multiple = 0.1;  // 230 V
    t[3].multiple = 0.01; // 10 A
    t[4].multiple = 0.1;  // 400 V
    t[5].multiple = 0.01; // 5 A
    t[6].multiple = 0.1;
    t[7].multiple = 0.1;
    t[6].rangel = -25;
    t[8].multiple = 0.1;
    t[8].paravalue = 100.0;
    return t;
}

DeviceReading reading(quint16 vac, quint16 iac, quint16 vdc, quint16 idc)
{
    DeviceReading r;
    r.words = {vac, iac, vdc, idc, 0, 0};
    return r;
}

const QDateTime now(QDate(2024, 6, 1), QTime(12, 0, 0), Qt::OffsetFromUTC, 7200);

} // namespace

class TestReplyDecoding : public QObject
{
    Q_OBJECT

private slots:
    void bothVersionsDecodeTheSameReading_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("version");
        QTest::addColumn<double>("meter");
        QTest::newRow("version 1") << goldenV1 << 1 << 0xFFFFFF * 0.1;
        QTest::newRow("version 2") << goldenV2 << 2 << 0xFFFFFFFFu * 0.1;
    }
    void bothVersionsDecodeTheSameReading()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, version);
        QFETCH(double, meter);
        ParamTable t = makeTable();
        const DecodeSettings settings{true, now};
        const DecodeOutcome out = version == 1 ? decodeReplyV1(reply, t, settings) : decodeReplyV2(reply, t, settings);

        QCOMPARE(t[0].number(), 1.0);
        QCOMPARE(t[1].paravalue.toDateTime(), now);
        QCOMPARE(t[2].number(), 230.0);
        QCOMPARE(t[3].number(), 10.0);
        QVERIFY(qFuzzyCompare(t[5].number(), 5.0));
        // Sign and magnitude, not two's complement, in single precision.
        QCOMPARE(t[6].paravalue.typeId(), int(QMetaType::Float));
        QCOMPARE(t[6].number(), -0.5);
        QCOMPARE(t[7].number(), 0.5);
        QCOMPARE(t[7].text(), QStringLiteral("0.5"));
        // The whole counter, with no overflow at 2^23.
        QCOMPARE(t[8].number(), meter);
        QCOMPARE(t[10].number(), 1.0);
        QCOMPARE(t[14].text(), QStringLiteral("fault 14"));
        QCOMPARE(t[15].text(), QStringLiteral("ok 15"));
        // 230 V x 10 A against 400 V x 5 A is not believable.
        QVERIFY(out.dcCalibrated);
        QVERIFY(!out.energyNotSynchronized);
        QCOMPARE(t[9].paravalue, QVariant()); // not written by a poll
    }

    void limitsFlagWatchedRows_data()
    {
        QTest::addColumn<quint16>("word");
        QTest::addColumn<double>("warningenabled");
        QTest::addColumn<double>("founderror");
        QTest::newRow("inside") << quint16(2300) << 1.0 << 0.0;
        QTest::newRow("just inside") << quint16(2529) << 1.0 << 0.0;
        QTest::newRow("above") << quint16(2531) << 1.0 << 1.0;
        QTest::newRow("below") << quint16(1979) << 1.0 << 1.0;
        QTest::newRow("above, not watched") << quint16(2531) << 0.0 << 0.0;
    }
    void limitsFlagWatchedRows()
    {
        QFETCH(quint16, word);
        QFETCH(double, warningenabled);
        QFETCH(double, founderror);
        ParamTable t = makeTable();
        t[2].rangel = 198;
        t[2].rangeu = 253;
        t[2].warningenabled = warningenabled;
        t[2].founderror = 1 - founderror;
        decodeReading(1, reading(word, 0, 0, 0), t, {true, now});
        QCOMPARE(t[2].founderror, founderror);
    }

    // A scaled value is held at its scale's precision, so neither its text
    // nor its limit check sees the binary noise of the product.
    void scaledValuesKeepTheirScalesPrecision()
    {
        ParamTable t = makeTable();
        t[2].rangeu = 253.1;
        t[3].multiple = 0.25;
        decodeReading(1, reading(2531, 7, 0, 0), t, {true, now});
        QCOMPARE(t[2].text(), QStringLiteral("253.1"));
        QCOMPARE(t[2].founderror, 0.0);
        QCOMPARE(t[3].text(), QStringLiteral("1.75"));
        QCOMPARE(decimalsOfMultiple(0.001), 3);
        QCOMPARE(decimalsOfMultiple(10), 0);
        QCOMPARE(roundToMultiple(2.0000000000000004, 0.1), 2.0);
    }

    void negativeTemperatureAgainstItsLowLimit()
    {
        ParamTable t = makeTable();
        DeviceReading r;
        r.words[4] = 0x80FB; // -25.1
        decodeReading(1, r, t, {true, now});
        QCOMPARE(t[6].founderror, 1.0);
        r.words[4] = 0x80FA; // -25.0
        decodeReading(1, r, t, {true, now});
        QCOMPARE(t[6].founderror, 0.0);
    }

    void statusBits()
    {
        ParamTable t = makeTable();
        t[29].warningenabled = 0;
        DeviceReading r;
        r.status = 0x8001;
        t[15].founderror = 1;
        decodeReading(1, r, t, {true, now});
        QCOMPARE(t[10].number(), double(0x8001));
        QCOMPARE(t[14].text(), QStringLiteral("fault 14"));
        QCOMPARE(t[14].founderror, 1.0);
        for (int row = 15; row < 29; ++row) {
            QCOMPARE(t[size_t(row)].text(), QStringLiteral("ok %1").arg(row));
            QCOMPARE(t[size_t(row)].founderror, 0.0);
        }
        QCOMPARE(t[29].text(), QStringLiteral("fault 29"));
        QCOMPARE(t[29].founderror, 0.0); // set but not watched
    }

    void dcPlausibility()
    {
        ParamTable t = makeTable();
        DecodeOutcome out = decodeReading(1, reading(2300, 1000, 4000, 500), t, {true, now});
        QVERIFY(out.dcCalibrated && !out.dcError);
        QCOMPARE(out.dcVoltageRead, 400.0);
        QVERIFY(qFuzzyCompare(out.dcCurrentRead, 5.0));
        QCOMPARE(t[4].number(), 489.4); // held to the 0.1 V of its scale
        QCOMPARE(t[4].number(), out.dcVoltageCalibrated);
        // The device's own reading stays beside the computed value.
        QCOMPARE(t[4].rawReading, std::optional<double>(400.0));
        QVERIFY(!t[5].rawReading);

        out = decodeReading(1, reading(2300, 1000, 0, 500), t, {true, now});
        QVERIFY(!t[4].rawReading);
        QVERIFY(out.dcError && !out.dcCalibrated);
        out = decodeReading(1, reading(2300, 1000, 4000, 0), t, {true, now});
        QVERIFY(out.dcError);
        out = decodeReading(1, reading(0, 0, 0, 0), t, {true, now});
        QVERIFY(!out.dcError && !out.dcCalibrated);
        out = decodeReading(1, reading(2300, 1000, 4000, 700), t, {true, now}); // 2300 W of 2800 W
        QVERIFY(!out.dcError && !out.dcCalibrated);
        QCOMPARE(t[4].number(), 400.0);
    }

    void energyIntegration_data()
    {
        QTest::addColumn<QVariant>("previous");
        QTest::addColumn<double>("energy");
        QTest::addColumn<bool>("notSynchronized");
        const double start = 100.0;
        QTest::newRow("10 s at 2300 W") << QVariant(now.addSecs(-10)) << start + 2300.0 * 10 / 3600 / 1000 << false;
        QTest::newRow("1800 s still counts") << QVariant(now.addSecs(-1800)) << start + 2300.0 * 1800 / 3600 / 1000
                                             << false;
        QTest::newRow("2000 s gap") << QVariant(now.addSecs(-2000)) << start << true;
        QTest::newRow("stored as text") << QVariant(now.addSecs(-60).toLocalTime().toString("yyyy-MM-dd HH:mm:ss"))
                                        << start + 2300.0 * 60 / 3600 / 1000 << false;
        QTest::newRow("no previous reply") << QVariant(QString()) << start << true;
        QTest::newRow("clock set back") << QVariant(now.addSecs(30)) << start << true;
    }
    void energyIntegration()
    {
        QFETCH(QVariant, previous);
        QFETCH(double, energy);
        QFETCH(bool, notSynchronized);
        ParamTable t = makeTable();
        t[1].paravalue = previous;
        const DecodeOutcome out = decodeReading(1, reading(2300, 1000, 4000, 700), t, {false, now});
        QCOMPARE(out.energyNotSynchronized, notSynchronized);
        QVERIFY2(qAbs(t[8].number() - energy) < 1e-9, qPrintable(t[8].text()));
        QCOMPARE(t[1].paravalue.toDateTime(), now);
    }

    void replyTimeReadsAsLocalTime()
    {
        const QDateTime t = replyTimeNow();
        QVERIFY(qAbs(t.secsTo(QDateTime::currentDateTime())) <= 1);
        QCOMPARE(t.toString("HH:mm"), t.toLocalTime().toString("HH:mm"));
    }
};

QTEST_GUILESS_MAIN(TestReplyDecoding)
#include "tst_reply_decoding.moc"
