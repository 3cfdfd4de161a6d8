// Common routines: numbers, bits, CRC, paths and waits.
#include "core/common.h"
#include "test_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QDir>
#include <QFile>
#include <csignal>
#ifdef Q_OS_LINUX
#include <sys/resource.h>
#endif

using namespace vantoro;

class TestCommon : public QObject
{
    Q_OBJECT
private slots:
    void crcOfCheckString();
    void crcUsesOnlyLow16BitsOfStart();
    void signMagnitude_data();
    void signMagnitude();
    void bits();
    void addBackslash_data();
    void addBackslash();
    void leadingNumber_data();
    void leadingNumber();
    void halvesRoundToEven();
    void intervalClamp();
    void timeOfDayFormat();
    void waitSecondsEndsAtOnceWhenQuitting();
    void waitSecondsRunsEvents();
    void waitUntilEndsAsSoonAsDone();
    void saveBytesRefusesBlankPath();
    void saveBytesLeavesNoPartFileWhenTheDiskFills();
    void findsFilesWithoutRegardToCase();
};

void TestCommon::crcOfCheckString()
{
    QCOMPARE(crc16(QByteArray("123456789"), -1, 0xA001), quint16(0x4B37));
}

void TestCommon::crcUsesOnlyLow16BitsOfStart()
{
    QCOMPARE(crc16(QByteArray("123456789"), 0x7FFFFFFF, 0xA001), crc16(QByteArray("123456789"), 0xFFFF, 0xA001));
}

void TestCommon::signMagnitude_data()
{
    QTest::addColumn<int>("low");
    QTest::addColumn<int>("high");
    QTest::addColumn<int>("expected");
    QTest::newRow("positive") << 0x34 << 0x12 << 4660;
    QTest::newRow("negative") << 0x34 << 0x92 << -4660;
    QTest::newRow("negative zero") << 0x00 << 0x80 << 0;
    QTest::newRow("largest") << 0xFF << 0x7F << 32767;
    QTest::newRow("not two's complement") << 0x05 << 0x80 << -5;
}

void TestCommon::signMagnitude()
{
    QFETCH(int, low);
    QFETCH(int, high);
    QFETCH(int, expected);
    QCOMPARE(signMagnitude16(quint8(low), quint8(high)), expected);
}

void TestCommon::bits()
{
    QCOMPARE(bitValue(5, 2), 1);
    QCOMPARE(bitValue(5, 1), 0);
    QCOMPARE(bitValue(0x8000, 15), 1);
    QCOMPARE(bitValue(1, 63), 0); // out of range is never set
}

void TestCommon::addBackslash_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << "" << "./";
    QTest::newRow("root") << "/" << "/";
    QTest::newRow("windows root") << "C:\\" << "C:\\";
    QTest::newRow("plain") << "/opt/app" << "/opt/app/";
}

void TestCommon::addBackslash()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(vantoro::addBackslash(input), expected);
}

void TestCommon::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("empty") << "" << 0.0;
    QTest::newRow("letters") << "abc" << 0.0;
    QTest::newRow("integer") << "2" << 2.0;
    QTest::newRow("leading blanks") << "  42" << 42.0;
    QTest::newRow("settings text") << "9600,N,8,1" << 9600.0;
    QTest::newRow("fraction") << "2500.5Hz" << 2500.5;
    QTest::newRow("negative") << "-12.25 C" << -12.25;
    QTest::newRow("exponent") << "1.5e3" << 1500.0;
    QTest::newRow("dangling exponent") << "7e" << 7.0;
    QTest::newRow("padded id") << "001" << 1.0;
    QTest::newRow("sign only") << "-" << 0.0;
}

void TestCommon::leadingNumber()
{
    QFETCH(QString, text);
    QFETCH(double, expected);
    QCOMPARE(vantoro::leadingNumber(text), expected);
}

void TestCommon::halvesRoundToEven()
{
    QCOMPARE(roundHalfEven(2500.5), qint64(2500));
    QCOMPARE(roundHalfEven(2501.5), qint64(2502));
    QCOMPARE(roundHalfEven(-0.5), qint64(0));
    QCOMPARE(roundHalfEven(2.6), qint64(3));
}

void TestCommon::intervalClamp()
{
    QCOMPARE(clampInterval(0.5 * 1000, 1000), 1000);
    QCOMPARE(clampInterval(70.0 * 1000, 1000), 65535);
    QCOMPARE(clampInterval(3000, 1000), 3000);
}

void TestCommon::timeOfDayFormat()
{
    const QString t = timeOfDayText();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d\\.\\d\\d$")).match(t).hasMatch(), qPrintable(t));
}

void TestCommon::waitSecondsEndsAtOnceWhenQuitting()
{
    quitRequested = true;
    QElapsedTimer clock;
    clock.start();
    waitSeconds(5);
    quitRequested = false;
    QVERIFY(clock.elapsed() < 100);
}

void TestCommon::waitSecondsRunsEvents()
{
    bool fired = false;
    QTimer::singleShot(20, this, [&fired] { fired = true; });
    QElapsedTimer clock;
    clock.start();
    waitSeconds(0.2);
    QVERIFY(fired);
    QVERIFY(clock.elapsed() >= 195);
}

void TestCommon::waitUntilEndsAsSoonAsDone()
{
    bool ready = false;
    QTimer::singleShot(30, this, [&ready] { ready = true; });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(waitUntil([&ready] { return ready; }, 3000));
    QVERIFY(clock.elapsed() < 1000);
    QVERIFY(!waitUntil([] { return false; }, 50));
}

void TestCommon::saveBytesRefusesBlankPath()
{
    QVERIFY(!saveBytesToFile("x", QStringLiteral("   ")));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.bin"));
    const QByteArray bytes("\x00\x01\xFF\r\n", 5);
    QVERIFY(saveBytesToFile(bytes, path));
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), bytes);
}

void TestCommon::saveBytesLeavesNoPartFileWhenTheDiskFills()
{
#ifdef Q_OS_LINUX
    // A file-size limit fails the write the way a full disk does.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("launcher"));
    rlimit old{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &old) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
    const bool saved = saveBytesToFile(QByteArray(64 * 1024, 'x'), path);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    QVERIFY(!saved);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
#else
    QSKIP("needs a file-size limit");
#endif
}

void TestCommon::findsFilesWithoutRegardToCase()
{
    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("VANTORO.INI")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QCOMPARE(findFileNoCase(dir.path(), QStringLiteral("vantoro.ini")), dir.filePath(QStringLiteral("VANTORO.INI")));
    QCOMPARE(findFileNoCase(dir.path(), QStringLiteral("other.ini")), dir.filePath(QStringLiteral("other.ini")));
}

QTEST_GUILESS_MAIN(TestCommon)
#include "tst_common.moc"
