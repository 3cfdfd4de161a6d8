// The device simulator on the wire: raw requests through a serial port opened
// on its pseudo-terminal, checked byte by byte against the protocol.
#include "sim_process.h"
#include "test_support.h"

#include "acquisition/frames.h"

#include <QElapsedTimer>
#include <QSerialPort>
#include <QTest>

using namespace vantoro;
using vantoro::test::SimProcess;

namespace {

QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

int byteAt(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

int wordAt(const QByteArray &bytes, int i)
{
    return byteAt(bytes, i) | (byteAt(bytes, i + 1) << 8);
}

int sumOf(const QByteArray &bytes, int from, int to)
{
    int sum = 0;
    for (int i = from; i <= to; ++i)
        sum += byteAt(bytes, i);
    return sum;
}

// Long enough to be sure nothing comes: an unpaced reply takes a few milliseconds.
constexpr int SILENCE_MS = 100;

const QByteArray POLL_V1 = hex("EB 90 01 CF A0 00 00 70 01 0D");
const QByteArray POLL_V2 = hex("01 03 08 00 00 00 00 00 00 00 00 00 17 6F");

QByteArray pollV2(quint8 address)
{
    return buildCrcFrame(address, QByteArray(8, '\0'), FUNCTION_POLL);
}

QByteArray controlFrame(quint8 address)
{
    return buildCrcFrame(address, hex("CF 00 00 00 00 00 00 00"), FUNCTION_CONTROL);
}

// Version-2 reply fields: AC current, DC current, energy counter, status.
int iacOf(const QByteArray &reply)
{
    return wordAt(reply, 6);
}

int idcOf(const QByteArray &reply)
{
    return wordAt(reply, 10);
}

qint64 energyOf(const QByteArray &reply)
{
    return wordAt(reply, 16) | (qint64(wordAt(reply, 18)) << 16);
}

int statusOf(const QByteArray &reply)
{
    return wordAt(reply, 20);
}

// The station's side of the line, opened on the simulator's pseudo-terminal.
class Line
{
public:
    bool open(const QString &path)
    {
        m_port.setPortName(path);
        m_port.setBaudRate(9600);
        return m_port.open(QIODevice::ReadWrite);
    }

    // Drops whatever is waiting; replies come within milliseconds without pacing.
    void drain()
    {
        while (m_port.waitForReadyRead(0))
            m_port.readAll();
        m_port.readAll();
    }

    void send(const QByteArray &bytes)
    {
        m_port.write(bytes);
        m_port.waitForBytesWritten(1000);
    }

    // What arrives until `expected` bytes are there or `timeoutMs` passed.
    QByteArray receive(int expected, int timeoutMs)
    {
        QByteArray got;
        QElapsedTimer clock;
        clock.start();
        while (got.size() < expected && clock.elapsed() < timeoutMs) {
            if (m_port.bytesAvailable() > 0
                || m_port.waitForReadyRead(int(qMax<qint64>(1, timeoutMs - clock.elapsed()))))
                got += m_port.readAll();
        }
        return got;
    }

    QByteArray exchange(const QByteArray &request, int expected = REPLY_BYTES, int timeoutMs = 1000)
    {
        drain();
        send(request);
        return receive(expected, timeoutMs);
    }

private:
    QSerialPort m_port;
};

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();

    void pollV1ReplyCarriesTheValues();
    void pollV2ReplyCarriesTheValues();
    void requestsTheDeviceIgnores_data();
    void requestsTheDeviceIgnores();
    void pollAfterLineNoiseIsAnswered();
    void controlFrameIsAnsweredAndRecorded();
    void setFramesAreRecorded();
    void scenarioChangesTheValues();
    void faults_data();
    void faults();
    void faultEveryNthRequest();
    void pacingAtTheBaudRate();
    void varyingValues();
    void solarDayOnItsClock();
    void stdinEndsItOnlyWhenAsked();
    void plantAnswersEachAddressWithItsOwnValues();
    void aimedValuesReachOneDeviceOnly();
    void plantDevicesKeepTheirOwnClocks();
    void plantOptionsRefused_data();
    void plantOptionsRefused();

private:
    SimProcess m_sim;
    Line m_line;
};

void TestSimulator::initTestCase()
{
    vantoro::test::isolateUserSettings();
    QVERIFY2(m_sim.start({"--baud", "0", "--vac", "2301", "--iac", "1002", "--vdc", "3603", "--idc", "704", "--tmod",
                 "-55", "--tamb", "256", "--energy", "0x00ABCDEF", "--status", "0x8001"}),
        qPrintable(m_sim.errorText()));
    QVERIFY2(m_line.open(m_sim.ptyPath()), qPrintable(m_sim.ptyPath()));
}

void TestSimulator::cleanupTestCase()
{
    QVERIFY2(m_sim.stop(), "the simulator did not end cleanly on SIGTERM");
}

void TestSimulator::init()
{
    QVERIFY(m_sim.writeScenario(QString()));
}

void TestSimulator::pollV1ReplyCarriesTheValues()
{
    const QByteArray reply = m_line.exchange(POLL_V1);
    QCOMPARE(reply.size(), REPLY_BYTES);
    QCOMPARE(reply.left(3).toHex(' '), QByteArray("eb 90 01"));
    const QList<int> words{2301, 1002, 3603, 704, 0x8037, 256};
    for (int i = 0; i < words.size(); ++i)
        QCOMPARE(wordAt(reply, 3 + 2 * i), words[i]);
    QCOMPARE(reply.mid(15, 3).toHex(' '), QByteArray("ef cd ab"));
    QCOMPARE(wordAt(reply, 18), 0x8001);
    QCOMPARE(reply.mid(20, 10), QByteArray(10, '\0'));
    QCOMPARE(wordAt(reply, 30), sumOf(reply, 2, 29));
    QCOMPARE(byteAt(reply, 32), 0x0D);
}

void TestSimulator::pollV2ReplyCarriesTheValues()
{
    const QByteArray reply = m_line.exchange(POLL_V2);
    QCOMPARE(reply.size(), REPLY_BYTES);
    QCOMPARE(reply.left(4).toHex(' '), QByteArray("01 03 1b 00"));
    QCOMPARE(wordAt(reply, 4), 2301);
    QCOMPARE(wordAt(reply, 12), 0x8037);
    QCOMPARE(reply.mid(16, 4).toHex(' '), QByteArray("ef cd ab 00"));
    QCOMPARE(wordAt(reply, 20), 0x8001);
    QCOMPARE(wordAt(reply, 31), int(frameCrc(reply.left(31))));
}

void TestSimulator::requestsTheDeviceIgnores_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::newRow("v1 poll of address 2") << hex("EB 90 02 CF A0 00 00 71 01 0D");
    QTest::newRow("v1 poll with a bad checksum") << hex("EB 90 01 CF A0 00 00 71 01 0D");
    QTest::newRow("v1 frame with another command") << hex("EB 90 01 C0 A0 00 00 61 01 0D");
    QTest::newRow("v2 poll of address 2") << buildCrcFrame(2, QByteArray(8, '\0'), FUNCTION_POLL);
    QTest::newRow("v2 poll with a bad CRC") << hex("01 03 08 00 00 00 00 00 00 00 00 00 17 6E");
    QTest::newRow("set frame") << hex("FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D");
}

void TestSimulator::requestsTheDeviceIgnores()
{
    QFETCH(QByteArray, request);
    QCOMPARE(m_line.exchange(request, 1, SILENCE_MS).toHex(' '), QByteArray());
    // The line is still in step afterwards.
    QCOMPARE(m_line.exchange(POLL_V1).size(), REPLY_BYTES);
}

void TestSimulator::pollAfterLineNoiseIsAnswered()
{
    const QByteArray reply = m_line.exchange(hex("00 55 EB") + POLL_V1);
    QCOMPARE(reply.left(3).toHex(' '), QByteArray("eb 90 01"));
    QCOMPARE(reply.size(), REPLY_BYTES);
}

void TestSimulator::controlFrameIsAnsweredAndRecorded()
{
    const QByteArray request = hex("01 10 08 00 CF 00 00 00 00 00 00 00 00 FB");
    const QByteArray reply = m_line.exchange(request);
    QCOMPARE(reply.size(), REPLY_BYTES);
    QCOMPARE(reply.left(4).toHex(' '), QByteArray("01 10 1b 00"));
    QCOMPARE(wordAt(reply, 4), 2301);
    QCOMPARE(wordAt(reply, 31), int(frameCrc(reply.left(31))));

    const QStringList lines = m_sim.recordLines();
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.constLast().section(QLatin1Char(' '), 1),
        QStringLiteral("control 01 10 08 00 CF 00 00 00 00 00 00 00 00 FB"));
}

void TestSimulator::setFramesAreRecorded()
{
    const int before = int(m_sim.recordLines().size());
    // As the station sends it: the wake-up byte alone, a pause, then the frame.
    m_line.drain();
    m_line.send(hex("FF"));
    QTest::qWait(10);
    m_line.send(hex("EB 01 0B 32 00 00 00 00 00 00 3E 00 0D"));
    m_line.send(hex("EB 01 0F 59 25 14 07 03 05 20 D1 00 0D"));
    m_line.send(hex("FF EB 01 0C 01 00 00 00 00 00 00 0F 00 0D"));
    m_line.send(hex("FF EB 01 0C 01 00 00 00 00 00 00 0E 00 0D"));
    QVERIFY(QTest::qWaitFor([&] { return m_sim.recordLines().size() >= before + 4; }, 2000));

    const QStringList lines = m_sim.recordLines().mid(before);
    QStringList kindsAndBytes;
    for (const QString &line : lines) {
        QVERIFY2(QDateTime::fromString(line.section(QLatin1Char(' '), 0, 0), QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"))
                     .isValid(),
            qPrintable(line));
        kindsAndBytes << line.section(QLatin1Char(' '), 1);
    }
    QCOMPARE(kindsAndBytes,
        (QStringList{
            "set FF EB 01 0B 32 00 00 00 00 00 00 3E 00 0D",
            "set EB 01 0F 59 25 14 07 03 05 20 D1 00 0D",
            "set-badsum FF EB 01 0C 01 00 00 00 00 00 00 0F 00 0D",
            "set FF EB 01 0C 01 00 00 00 00 00 00 0E 00 0D",
        }));
}

void TestSimulator::scenarioChangesTheValues()
{
    QVERIFY(m_sim.writeScenario(QStringLiteral("# a fault appears\nstatus = 0x0101\nvac=1980\n")));
    QByteArray reply = m_line.exchange(POLL_V1);
    QCOMPARE(reply.size(), REPLY_BYTES);
    QCOMPARE(wordAt(reply, 3), 1980);
    QCOMPARE(wordAt(reply, 18), 0x0101);

    // Removing a key gives back the command-line value.
    QVERIFY(m_sim.writeScenario(QStringLiteral("status=0x0101\n")));
    reply = m_line.exchange(POLL_V1);
    QCOMPARE(wordAt(reply, 3), 2301);
}

void TestSimulator::faults_data()
{
    QTest::addColumn<QByteArray>("poll");
    QTest::addColumn<QString>("fault");

    for (const auto &[version, poll] : {std::pair{"v1", POLL_V1}, std::pair{"v2", POLL_V2}}) {
        for (const char *fault :
            {"noreply", "late", "wrongaddr", "badsum", "badcrc", "noterm", "truncated", "garbage", "split", "half",
                "drop", "mute"})
            QTest::addRow("%s %s", version, fault) << poll << QString::fromLatin1(fault);
    }
}

void TestSimulator::faults()
{
    QFETCH(QByteArray, poll);
    QFETCH(QString, fault);
    const bool v1 = byteAt(poll, 0) == 0xEB;
    const QByteArray good = m_line.exchange(poll);
    QCOMPARE(good.size(), REPLY_BYTES);

    QVERIFY(m_sim.writeScenario(QStringLiteral("fault=%1\nlate-ms=150\ntruncate-to=20\ngarbage-bytes=5\n"
                                               "split-pieces=3\nsplit-gap-ms=60\n")
                                    .arg(fault)));
    QElapsedTimer clock;
    m_line.drain();
    clock.start();
    m_line.send(poll);

    if (fault == QLatin1String("noreply") || fault == QLatin1String("mute")) {
        QCOMPARE(m_line.receive(1, SILENCE_MS), QByteArray());
    } else if (fault == QLatin1String("late")) {
        QCOMPARE(m_line.receive(1, 75), QByteArray());
        QCOMPARE(m_line.receive(REPLY_BYTES, 2000).toHex(' '), good.toHex(' '));
        QVERIFY(clock.elapsed() >= 145);
    } else if (fault == QLatin1String("wrongaddr")) {
        const QByteArray reply = m_line.receive(REPLY_BYTES, 1000);
        QCOMPARE(reply.size(), REPLY_BYTES);
        const int addressAt = v1 ? 2 : 0;
        QCOMPARE(byteAt(reply, addressAt), 2);
        if (v1)
            QCOMPARE(wordAt(reply, 30), sumOf(reply, 2, 29));
        else
            QCOMPARE(wordAt(reply, 31), int(frameCrc(reply.left(31))));
        QCOMPARE(reply.mid(addressAt + 1, 27), good.mid(addressAt + 1, 27));
    } else if (fault == QLatin1String("badsum") || fault == QLatin1String("badcrc")) {
        QByteArray expected = good;
        const int low = v1 ? 30 : 31;
        expected[low] = char(byteAt(good, low) + 1);
        QCOMPARE(m_line.receive(REPLY_BYTES, 1000).toHex(' '), expected.toHex(' '));
    } else if (fault == QLatin1String("noterm")) {
        QByteArray expected = good;
        if (v1)
            expected[32] = 0x00;
        QCOMPARE(m_line.receive(REPLY_BYTES, 1000).toHex(' '), expected.toHex(' '));
    } else if (fault == QLatin1String("truncated")) {
        QCOMPARE(m_line.receive(REPLY_BYTES, SILENCE_MS).toHex(' '), good.left(20).toHex(' '));
    } else if (fault == QLatin1String("half") || fault == QLatin1String("drop")) {
        // A line has no connection to drop: half the reply, as a gateway's would be.
        QCOMPARE(m_line.receive(REPLY_BYTES, SILENCE_MS).toHex(' '), good.left(REPLY_BYTES / 2).toHex(' '));
    } else if (fault == QLatin1String("garbage")) {
        const QByteArray reply = m_line.receive(REPLY_BYTES + 5, 1000);
        QCOMPARE(reply.mid(5).toHex(' '), good.toHex(' '));
        QVERIFY(!reply.left(5).contains(good.at(0)));
    } else if (fault == QLatin1String("split")) {
        QCOMPARE(m_line.receive(11, 1000).toHex(' '), good.left(11).toHex(' '));
        QCOMPARE(m_line.receive(REPLY_BYTES - 11, 1000).toHex(' '), good.mid(11).toHex(' '));
        QVERIFY(clock.elapsed() >= 115);
    }

    // Without the fault the next poll is answered normally.
    QVERIFY(m_sim.writeScenario(QString()));
    QCOMPARE(m_line.exchange(poll).toHex(' '), good.toHex(' '));
}

void TestSimulator::faultEveryNthRequest()
{
    QVERIFY(m_sim.writeScenario(QStringLiteral("fault=noreply\nfault-every=2\n")));
    QList<int> sizes;
    for (int i = 0; i < 4; ++i)
        sizes << int(m_line.exchange(POLL_V1, REPLY_BYTES, SILENCE_MS).size());
    // The counter runs since the simulator started: which two fail depends
    // on it, but exactly every other request does.
    QVERIFY2(sizes == (QList<int>{33, 0, 33, 0}) || sizes == (QList<int>{0, 33, 0, 33}),
        qPrintable(QStringLiteral("%1 %2 %3 %4").arg(sizes[0]).arg(sizes[1]).arg(sizes[2]).arg(sizes[3])));
}

void TestSimulator::pacingAtTheBaudRate()
{
    SimProcess paced;
    QVERIFY2(paced.start({"--baud", "9600"}), qPrintable(paced.errorText()));
    Line line;
    QVERIFY(line.open(paced.ptyPath()));
    QElapsedTimer clock;
    clock.start();
    const QByteArray reply = line.exchange(POLL_V1);
    const qint64 ms = clock.elapsed();
    QCOMPARE(reply.size(), REPLY_BYTES);
    // 43 bytes of 10 bits at 9600 baud take 44.8 ms; none can come sooner.
    QVERIFY2(ms >= 40, qPrintable(QString::number(ms)));
    qInfo("paced v1 exchange: %lld ms", ms);
}

void TestSimulator::varyingValues()
{
    SimProcess varying;
    // 6553.5 V x 655.35 A: 4.29 MW, some twelve counts of 0.1 kWh a second.
    QVERIFY2(varying.start({"--baud", "0", "--vary", "--energy", "1000", "--vdc", "3600", "--vac", "65535", "--iac",
                 "65535"}),
        qPrintable(varying.errorText()));
    Line line;
    QVERIFY(line.open(varying.ptyPath()));
    QElapsedTimer clock;
    clock.start();
    const QByteArray first = line.exchange(POLL_V1);
    QTest::qWait(1000);
    const QByteArray second = line.exchange(POLL_V1);
    const double seconds = clock.elapsed() / 1000.0;
    QCOMPARE(second.size(), REPLY_BYTES);
    const int energyFirst = wordAt(first, 15) | (byteAt(first, 17) << 16);
    const int energySecond = wordAt(second, 15) | (byteAt(second, 17) << 16);
    // The counter follows the power the words give, not the clock.
    const double counts = 6553.5 * 655.35 * seconds / 3.6e6 / 0.1;
    QVERIFY2(energySecond - energyFirst >= counts * 0.7 - 1 && energySecond - energyFirst <= counts + 1,
        qPrintable(QStringLiteral("%1 counts in %2 s").arg(energySecond - energyFirst).arg(seconds)));
    QVERIFY(energyFirst >= 1000);
    QVERIFY(qAbs(wordAt(second, 7) - 3600) <= 73); // within 2 %
    QCOMPARE(wordAt(second, 30), sumOf(second, 2, 29));
}

void TestSimulator::solarDayOnItsClock()
{
    // An hour a poll, a clear midsummer sky: 24 polls are the day.
    SimProcess sun;
    QVERIFY2(sun.start({"--baud", "0", "--solar-day", "--clock-start", "2026-06-21T00:00", "--clock-step", "3600",
                 "--cloud-seed", "0", "--energy", "1000"}),
        qPrintable(sun.errorText()));
    Line line;
    QVERIFY(line.open(sun.ptyPath()));
    QList<QByteArray> day;
    for (int hour = 0; hour < 24; ++hour) {
        // A poll left unanswered moves the clock on as well.
        const bool silent = hour == 2;
        QVERIFY(sun.writeScenario(silent ? QStringLiteral("fault=noreply\n") : QString()));
        const QByteArray reply = line.exchange(POLL_V1, REPLY_BYTES, silent ? SILENCE_MS : 1000);
        QCOMPARE(reply.size(), silent ? 0 : REPLY_BYTES);
        day << reply;
    }
    double producedWh = 0;
    for (int hour = 0; hour < 24; ++hour) {
        const QByteArray &r = day[hour];
        if (r.isEmpty())
            continue;
        const int vac = wordAt(r, 3), iac = wordAt(r, 5), vdc = wordAt(r, 7), idc = wordAt(r, 9);
        const int energy = wordAt(r, 15) | (byteAt(r, 17) << 16);
        const bool running = wordAt(r, 18) & 1;
        // The counter is the AC power added up over the hours before.
        QVERIFY2(qAbs(energy - (1000 + int(producedWh / 100.0))) <= 1, qPrintable(QString::number(hour)));
        producedWh += vac * 0.1 * iac * 0.01;
        QCOMPARE(running, iac > 0);
        if (hour < 4 || hour > 21) {
            QCOMPARE(iac + vdc + idc, 0);
            QCOMPARE(wordAt(r, 11), wordAt(r, 13)); // the modules at air temperature
        } else if (running) {
            // Never more AC power than the station believes of the DC side.
            QVERIFY2(double(vac) * iac / (double(vdc) * idc) <= 0.94, qPrintable(QString::number(hour)));
        }
    }
    // Full sun at solar noon, 13:00: the clock went on one step per request.
    QCOMPARE(wordAt(day[13], 5), 1000);
    QVERIFY(wordAt(day[12], 5) < 1000 && wordAt(day[14], 5) < 1000);
    QVERIFY(wordAt(day[13], 11) - wordAt(day[13], 13) > 150);
    QVERIFY(producedWh > 15000 && producedWh < 30000);
}

void TestSimulator::stdinEndsItOnlyWhenAsked()
{
    for (const bool asked : {false, true}) {
        QProcess process;
        QStringList arguments{"--baud", "0"};
        if (asked)
            arguments << "--exit-on-stdin-eof";
        process.start(QStringLiteral(VANTORO_SIM_PATH), arguments);
        QVERIFY(process.waitForStarted(3000));
        QVERIFY(process.waitForReadyRead(3000));
        process.closeWriteChannel();
        QCOMPARE(process.waitForFinished(asked ? 3000 : 300), asked);
        if (!asked) {
            process.terminate();
            QVERIFY(process.waitForFinished(3000));
        }
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
    }
}

void TestSimulator::plantAnswersEachAddressWithItsOwnValues()
{
    SimProcess plant;
    QVERIFY2(plant.start({"--baud", "0", "--devices", "3"}), qPrintable(plant.errorText()));
    Line line;
    QVERIFY(line.open(plant.ptyPath()));

    const QList<int> iac{1000, 900, 800};
    const QList<int> idc{700, 630, 560};
    const QList<qint64> energy{123456, 111110, 98765};
    for (int i = 0; i < 3; ++i) {
        const quint8 address = quint8(i + 1);
        const QByteArray reply = line.exchange(pollV2(address));
        QCOMPARE(reply.size(), REPLY_BYTES);
        QCOMPARE(byteAt(reply, 0), int(address));
        QCOMPARE(wordAt(reply, 31), int(frameCrc(reply.left(31))));
        QCOMPARE(wordAt(reply, 4), 2300);
        QCOMPARE(iacOf(reply), iac[i]);
        QCOMPARE(idcOf(reply), idc[i]);
        QCOMPARE(energyOf(reply), energy[i]);
    }
    const QByteArray v1 = line.exchange(hex("EB 90 02 CF A0 00 00 71 01 0D"));
    QCOMPARE(v1.left(3).toHex(' '), QByteArray("eb 90 02"));
    QCOMPARE(wordAt(v1, 5), 900);

    // Nobody at 0 or 4: silence, as on a bus, and the line stays in step.
    QCOMPARE(line.exchange(pollV2(4), 1, SILENCE_MS).toHex(' '), QByteArray());
    QCOMPARE(line.exchange(hex("EB 90 00 CF A0 00 00 6F 01 0D"), 1, SILENCE_MS).toHex(' '), QByteArray());
    QCOMPARE(line.exchange(controlFrame(4), 1, SILENCE_MS).toHex(' '), QByteArray());
    QCOMPARE(line.exchange(controlFrame(3)).left(4).toHex(' '), QByteArray("03 10 1b 00"));
    QCOMPARE(iacOf(line.exchange(pollV2(3))), 800);
}

void TestSimulator::aimedValuesReachOneDeviceOnly()
{
    SimProcess plant;
    QVERIFY2(plant.start({"--baud", "0", "--devices", "2:3K,5,9:5K", "--fault", "noreply@5"}),
        qPrintable(plant.errorText()));
    Line line;
    QVERIFY(line.open(plant.ptyPath()));

    // A rating sets the full-sun AC power at the AC voltage given: 3 kW and
    // 5 kW at 230.0 V; the DC current keeps its share of the AC current.
    QByteArray reply = line.exchange(pollV2(2));
    QCOMPARE(iacOf(reply), 1304);
    QCOMPARE(idcOf(reply), 913);
    QCOMPARE(iacOf(line.exchange(pollV2(9))), 2174);
    QCOMPARE(line.exchange(pollV2(5), 1, SILENCE_MS).size(), 0);
    // No device at address 1: control frames for it go unanswered on a plant.
    QCOMPARE(line.exchange(controlFrame(1), 1, SILENCE_MS).size(), 0);
    QCOMPARE(line.exchange(controlFrame(9)).left(4).toHex(' '), QByteArray("09 10 1b 00"));

    // The scenario's aims win over the command line's and reach one device.
    QVERIFY(plant.writeScenario(QStringLiteral("status=0x0101@9\nfault=none@5\nfault=noreply@4\n")));
    reply = line.exchange(pollV2(5));
    QCOMPARE(reply.size(), REPLY_BYTES);
    QCOMPARE(iacOf(reply), 1000);
    QCOMPARE(statusOf(reply), 0x0001);
    QCOMPARE(statusOf(line.exchange(pollV2(9))), 0x0101);
    QCOMPARE(statusOf(line.exchange(pollV2(2))), 0x0001);
    QVERIFY(QTest::qWaitFor([&] { return plant.standardError().contains("no device at address 4"); }, 2000));

    // One device silenced while it runs; the others answer; the command
    // line's aim holds again once the scenario's is gone.
    QVERIFY(plant.writeScenario(QStringLiteral("fault=noreply@2\n")));
    QCOMPARE(line.exchange(pollV2(2), 1, SILENCE_MS).size(), 0);
    QCOMPARE(line.exchange(pollV2(9)).size(), REPLY_BYTES);
    QCOMPARE(line.exchange(pollV2(5), 1, SILENCE_MS).size(), 0);
    QVERIFY(plant.writeScenario(QString()));
    QCOMPARE(line.exchange(pollV2(2)).size(), REPLY_BYTES);
}

void TestSimulator::plantDevicesKeepTheirOwnClocks()
{
    SimProcess plant;
    QVERIFY2(plant.start({"--baud", "0", "--devices", "2", "--solar-day", "--clock-start", "2026-06-21T11:00",
                 "--clock-step", "3600", "--cloud-seed", "0", "--energy", "1000"}),
        qPrintable(plant.errorText()));
    Line line;
    QVERIFY(line.open(plant.ptyPath()));
    QList<QByteArray> first;
    for (int hour = 11; hour <= 13; ++hour)
        first << line.exchange(pollV2(1));
    const QByteArray second = line.exchange(pollV2(2));
    QCOMPARE(second.size(), REPLY_BYTES);
    QVERIFY(iacOf(first[2]) > iacOf(first[0]));
    // The second device's first poll is its own 11:00, at 90 % of the first's.
    QVERIFY2(qAbs(iacOf(second) - 0.9 * iacOf(first[0])) <= 1,
        qPrintable(QStringLiteral("%1 vs %2").arg(iacOf(second)).arg(iacOf(first[0]))));
    QVERIFY(energyOf(first[2]) > 1000);
    QCOMPARE(energyOf(second), 900);
}

void TestSimulator::plantOptionsRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::newRow("address twice") << QStringList{"--devices", "1:3K,2,1"} << "address 1 is given twice";
    QTest::newRow("unknown rating") << QStringList{"--devices", "1:3X"} << "bad rating in --devices: 1:3X";
    QTest::newRow("count past the last address")
        << QStringList{"--address", "250", "--devices", "7"} << "bad --devices value: 7";
    QTest::newRow("aim at an absent device")
        << QStringList{"--devices", "3", "--fault", "late@4"} << "no device at address 4";
    QTest::newRow("aim at another address than the lone device's")
        << QStringList{"--fault", "late@2"} << "no device at address 2";
    QTest::newRow("bad aimed value") << QStringList{"--devices", "3", "--fault", "slow@2"} << "bad --fault value";
    QTest::newRow("two lines") << QStringList{"--tcp", "0", "--modbus-tcp", "0"} << "exclude one another";
    QTest::newRow("TCP port out of range") << QStringList{"--tcp", "65536"} << "bad TCP port: 65536";
}

void TestSimulator::plantOptionsRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QProcess process;
    process.start(QStringLiteral(VANTORO_SIM_PATH), arguments);
    QVERIFY(process.waitForFinished(3000));
    QCOMPARE(process.exitCode(), 1);
    const QString error = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"
