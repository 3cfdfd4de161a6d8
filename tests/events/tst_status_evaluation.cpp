// Fault text, value colour and the alarm rule after a poll, the device's
// sleep at night; the alarm tone and the memory panel text.
#include "acquisition/param_table.h"
#include "core/memory_status.h"
#include "core/tone.h"
#include "events/device_sleep.h"
#include "events/fault_endings.h"
#include "events/status_evaluation.h"
#include "test_support.h"

#include <QFile>
#include <QTest>
#include <QtEndian>
#include <cmath>

using namespace vantoro;
using namespace vantoro::test;

class TestStatusEvaluation : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void limitsThemselvesAreAllowed();
    void numericFaultText();
    void statusFaultTextHasNoBlank();
    void twoFaultsInIdOrder();
    void faultsThatClearAreReportedOnce();
    void unwatchedOrDisabledIsNeverAFault();
    void statusWithoutErrorFlagIsFine();
    void cellColour();
    void valuesNoReplyWroteAreNotJudged();
    void restingDcSideIsNotJudged();
    void alarmRule();
    void sleepFollowsTheDcInput();
    void silenceSoonAfterFallingAsleepIsSleep();
    void standbyThreshold();
    void toneHasTheAskedFrequency_data();
    void toneHasTheAskedFrequency();
    void clockPanelText();

private:
    std::unique_ptr<TestHome> m_homeOwner;
    ParamTable m_table;
};

static ParamRecord numeric(const QString &name, double value, double low, double high)
{
    ParamRecord p;
    p.devid = QStringLiteral("001");
    p.paraname = name;
    p.enabled = 1;
    p.warningenabled = 1;
    p.paravalue = QString::number(value);
    p.rangel = low;
    p.rangeu = high;
    return p;
}

static ParamRecord status(const QString &name, const QString &text, double founderror)
{
    ParamRecord p;
    p.devid = QStringLiteral("001");
    p.paraname = name;
    p.enabled = 1;
    p.warningenabled = 1;
    p.isstring = 1;
    p.paravalue = text;
    p.founderror = founderror;
    return p;
}

void TestStatusEvaluation::init()
{
    m_homeOwner.reset();
    m_homeOwner = std::make_unique<TestHome>(false);
    // A language file of our own, so the expected texts do not follow the shipped wording.
    QFile f(m_homeOwner->file(QStringLiteral("langcn.ini")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[frmMain]\nmsgOutLimit=out of limits\nmsgStatusError=, abnormal\nmsgBackWithinLimits=back in limits\n");
    f.close();
    m_table = ParamTable();
}

void TestStatusEvaluation::limitsThemselvesAreAllowed()
{
    m_table[2] = numeric(QStringLiteral("Vac"), 198, 198, 253);
    m_table[3] = numeric(QStringLiteral("Iac"), 16, 0, 16);
    QCOMPARE(checkDevStatus(m_table), QString());
}

void TestStatusEvaluation::numericFaultText()
{
    m_table[4] = numeric(QStringLiteral("Vdc"), 520.5, 150, 500);
    QCOMPARE(checkDevStatus(m_table), QStringLiteral("Vdc=520.5 out of limits (150|500)"));
    // The unit follows the value and the limits, a blank apart.
    m_table[4].unit = QStringLiteral("V");
    QCOMPARE(checkDevStatus(m_table), QStringLiteral("Vdc=520.5 V out of limits (150|500 V)"));
}

void TestStatusEvaluation::statusFaultTextHasNoBlank()
{
    m_table[15] = status(QStringLiteral("DC"), QStringLiteral("undervoltage"), 1);
    QCOMPARE(checkDevStatus(m_table), QStringLiteral("DC=undervoltage, abnormal"));
}

void TestStatusEvaluation::twoFaultsInIdOrder()
{
    m_table[20] = status(QStringLiteral("Grid"), QStringLiteral("low"), 1);
    m_table[2] = numeric(QStringLiteral("Vac"), 100, 198, 253);
    QCOMPARE(checkDevStatus(m_table), QStringLiteral("Vac=100 out of limits (198|253); Grid=low, abnormal"));
}

void TestStatusEvaluation::faultsThatClearAreReportedOnce()
{
    FaultEndings endings;
    m_table[2] = numeric(QStringLiteral("Vac"), 260, 198, 253);
    m_table[2].unit = QStringLiteral("V");
    m_table[15] = status(QStringLiteral("DC"), QStringLiteral("undervoltage"), 1);
    m_table[15].okstring = QStringLiteral("normal");
    m_table[16] = status(QStringLiteral("Grid"), QStringLiteral("low"), 1);
    QVERIFY(endings.update(m_table).isEmpty());

    m_table[2].paravalue = QStringLiteral("230");
    m_table[15].paravalue = QStringLiteral("normal");
    m_table[15].founderror = 0;
    // Unwatched meanwhile: not a return within limits.
    m_table[16].warningenabled = 0;
    QCOMPARE(endings.update(m_table),
             (QStringList{QStringLiteral("Vac=230 V back in limits"), QStringLiteral("DC=normal back in limits")}));
    QVERIFY(endings.update(m_table).isEmpty());

    // A fault that comes back and clears again ends again.
    m_table[2].paravalue = QStringLiteral("190");
    QVERIFY(endings.update(m_table).isEmpty());
    m_table[2].paravalue = QStringLiteral("231");
    QCOMPARE(endings.update(m_table), QStringList{QStringLiteral("Vac=231 V back in limits")});
}

void TestStatusEvaluation::unwatchedOrDisabledIsNeverAFault()
{
    m_table[2] = numeric(QStringLiteral("Vac"), 100, 198, 253);
    m_table[2].warningenabled = 0;
    m_table[2].founderror = 1;
    m_table[3] = numeric(QStringLiteral("Iac"), 100, 0, 16);
    m_table[3].enabled = 0;
    m_table[3].founderror = 1;
    QCOMPARE(checkDevStatus(m_table), QString());
    QCOMPARE(getCellColor(m_table, 2), COLOUR_BLACK);
    QCOMPARE(getCellColor(m_table, 3), COLOUR_BLACK);
}

void TestStatusEvaluation::statusWithoutErrorFlagIsFine()
{
    m_table[15] = status(QStringLiteral("DC"), QStringLiteral("anything at all"), 0);
    m_table[16] = status(QStringLiteral("Odd"), QStringLiteral("x"), 1);
    m_table[16].isstring = 2; // neither number nor status text
    QCOMPARE(checkDevStatus(m_table), QString());
}

void TestStatusEvaluation::cellColour()
{
    m_table[4] = numeric(QStringLiteral("Vdc"), 520, 150, 500);
    m_table[4].founderror = 1;
    QCOMPARE(getCellColor(m_table, 4), COLOUR_RED);
    QCOMPARE(getCellColor(m_table, -1), COLOUR_BLACK);
    QCOMPARE(getCellColor(m_table, 30), COLOUR_BLACK);
}

void TestStatusEvaluation::valuesNoReplyWroteAreNotJudged()
{
    // As loaded from the database before the device ever answered.
    m_table[2] = numeric(QStringLiteral("Vac"), 0, 198, 253);
    m_table[15] = status(QStringLiteral("DCUV"), QStringLiteral("tripped"), 1);
    for (int slot : {2, 15})
        m_table[size_t(slot)].awaitingReply = true;
    QCOMPARE(checkDevStatus(m_table), QString());
    QCOMPARE(faultKey(m_table), QString());
    QCOMPARE(getCellColor(m_table, 15), COLOUR_BLACK);
    m_table[2].awaitingReply = false;
    QCOMPARE(faultKey(m_table), QStringLiteral("2"));
}

void TestStatusEvaluation::restingDcSideIsNotJudged()
{
    m_table[2] = numeric(QStringLiteral("Vac"), 260, 198, 253);
    m_table[4] = numeric(QStringLiteral("Vdc"), 0, 150, 500);
    m_table[4].founderror = 1;
    m_table[5] = numeric(QStringLiteral("Idc"), 0, 0.5, 13);
    m_table[9] = numeric(QStringLiteral("Riso"), 0, 1, 99);
    m_table[9].devpart = DEVPART_DC_INPUT;
    m_table[15] = status(QStringLiteral("DCUV"), QStringLiteral("tripped"), 1);
    m_table[15].devpart = DEVPART_DC_INPUT;
    setDcSideResting(m_table, true);
    // The AC side is judged as ever, and so is a flag the device raises.
    QCOMPARE(faultKey(m_table), QStringLiteral("2;15"));
    QCOMPARE(getCellColor(m_table, 4), COLOUR_BLACK);
    setDcSideResting(m_table, false);
    QCOMPARE(faultKey(m_table), QStringLiteral("2;4;5;9;15"));
    QCOMPARE(getCellColor(m_table, 4), COLOUR_RED);
}

void TestStatusEvaluation::alarmRule()
{
    QVERIFY(alarmDue(true, 1, 1, false));
    QVERIFY(!alarmDue(true, 0, 1, true));
    QVERIFY(alarmDue(false, 1, 0, true));
    QVERIFY(!alarmDue(false, 1, 0, false)); // polling stopped: no link alarm
    QVERIFY(!alarmDue(false, 1, 1, true));
    QVERIFY(!alarmDue(false, 1, 0, true, true)); // asleep, not lost
    QVERIFY(alarmDue(true, 1, 0, true, true));
}

void TestStatusEvaluation::sleepFollowsTheDcInput()
{
    DeviceSleep sleep;
    const double threshold = 30;
    QCOMPARE(sleep.replied(2500, threshold, 0), SleepChange::None);
    QCOMPARE(sleep.replied(29.9, threshold, 1000), SleepChange::FellAsleep);
    QVERIFY(sleep.asleep());
    QCOMPARE(sleep.replied(0, threshold, 2000), SleepChange::None);
    // Dawn's first light does not wake it; twice the threshold does.
    QCOMPARE(sleep.replied(45, threshold, 3000), SleepChange::None);
    QCOMPARE(sleep.replied(60, threshold, 4000), SleepChange::WokeUp);
    QCOMPARE(sleep.replied(45, threshold, 5000), SleepChange::None);
    // No threshold: never asleep, and a sleeping device wakes.
    QCOMPARE(sleep.replied(0, 0, 6000), SleepChange::None);
    QCOMPARE(sleep.replied(10, threshold, 7000), SleepChange::FellAsleep);
    QCOMPARE(sleep.replied(10, 0, 8000), SleepChange::WokeUp);
}

void TestStatusEvaluation::silenceSoonAfterFallingAsleepIsSleep()
{
    DeviceSleep awake;
    QCOMPARE(awake.replied(2500, 30, 0), SleepChange::None);
    QVERIFY(!awake.silent(1000)); // a silence in daylight is a lost link

    DeviceSleep night;
    night.replied(0, 30, 0);
    QVERIFY(night.silent(SILENT_SLEEP_GRACE_MS));
    QVERIFY(night.silentlyAsleep());
    // Once asleep and silent, the whole night is sleep.
    QVERIFY(night.silent(SILENT_SLEEP_GRACE_MS + 8 * 3600 * 1000LL));
    QCOMPARE(night.replied(0, 30, 9 * 3600 * 1000LL), SleepChange::None);
    QVERIFY(night.asleep() && !night.silentlyAsleep());

    // Silent into the next day: the line is gone, not the sun.
    DeviceSleep endless;
    endless.replied(0, 30, 0);
    QVERIFY(endless.silent(1000));
    QVERIFY(endless.silent(1000 + SILENT_SLEEP_MAX_MS));
    QVERIFY(!endless.silent(2000 + SILENT_SLEEP_MAX_MS));
    QVERIFY(!endless.asleep());

    // Answering asleep for long, then silent: the line is gone.
    DeviceSleep late;
    late.replied(0, 30, 0);
    late.replied(0, 30, SILENT_SLEEP_GRACE_MS);
    QVERIFY(!late.silent(SILENT_SLEEP_GRACE_MS + 1));
    QVERIFY(!late.asleep());
}

void TestStatusEvaluation::standbyThreshold()
{
    QCOMPARE(standbyThresholdWatts(1, QStringLiteral("3K")), 30.0);
    QCOMPARE(standbyThresholdWatts(1, QStringLiteral("?")), 0.0);
}

void TestStatusEvaluation::toneHasTheAskedFrequency_data()
{
    QTest::addColumn<int>("frequency");
    QTest::newRow("3000 Hz") << 3000;
    QTest::newRow("440 Hz") << 440;
}

void TestStatusEvaluation::toneHasTheAskedFrequency()
{
    QFETCH(int, frequency);
    const QByteArray pcm = generateTone(frequency, ALARM_TONE_MS);
    const int samples = pcm.size() / 2;
    QCOMPARE(samples, TONE_SAMPLE_RATE / 2);
    int crossings = 0;
    int peak = 0;
    qint16 previous = qFromLittleEndian<qint16>(pcm.constData());
    for (int i = 1; i < samples; ++i) {
        const qint16 s = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
        if ((previous < 0) != (s < 0))
            ++crossings;
        peak = std::max(peak, std::abs(int(s)));
        previous = s;
    }
    const double measured = crossings / 2.0 / (double(samples) / TONE_SAMPLE_RATE);
    QVERIFY2(std::abs(measured - frequency) < frequency * 0.02, qPrintable(QString::number(measured)));
    QVERIFY(peak > 8000);
    QCOMPARE(qFromLittleEndian<qint16>(pcm.constData()), qint16(0)); // fades in: no click
}

void TestStatusEvaluation::clockPanelText()
{
    const QString meminfo = QStringLiteral("MemTotal: 8000000 kB\nMemFree: 100 kB\nMemAvailable: 6000000 kB\n"
                                           "SwapTotal: 1000 kB\nSwapFree: 1000 kB\n");
    QCOMPARE(usedMemoryFromMeminfo(meminfo), qint64(2000000) * 1024);
    QCOMPARE(vantoro::clockPanelText(QStringLiteral("15:21:13"), qint64(213.2 * 1024 * 1024)),
             QStringLiteral("15:21:13 MemUsed:213.2M"));
    QCOMPARE(usedMemoryFromMeminfo(QStringLiteral("garbage")), qint64(-1));
}

QTEST_GUILESS_MAIN(TestStatusEvaluation)
#include "tst_status_evaluation.moc"
