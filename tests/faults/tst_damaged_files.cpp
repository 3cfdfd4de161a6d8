// "PARAMS.INI", the language files and the INI file with bad lines, binary
// junk and a huge line: read as far as they make sense, never a crash.
#include "test_support.h"

#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/database.h"
#include "core/localisation.h"
#include "core/params_file.h"
#include "core/profile_file.h"
#include "core/system_settings.h"
#include "plant/line.h"
#include "core/user_settings.h"

#include <QFile>
#include <QStringEncoder>
#include <QTest>
#include <cmath>
#include <limits>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The table of the station's one device, as the poll path keeps it.
ParamTable stationTable;
const QString stationDevice = QString::fromLatin1(PARAM_DEVICE_ID);

constexpr qsizetype HUGE_LINE_BYTES = 4 * 1024 * 1024;

QByteArray gbk(const QString &text)
{
    QStringEncoder encoder("GBK");
    return encoder(text);
}

QByteArray binaryJunk(int bytes)
{
    QByteArray junk(bytes, '\0');
    quint32 x = 2463534242u;
    for (char &c : junk) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = char(x);
    }
    return junk;
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

class TestDamagedFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserSettings(); }

    void paramsFileKeepsItsGoodRows_data();
    void paramsFileKeepsItsGoodRows();
    void languageFileKeepsItsGoodKeys_data();
    void languageFileKeepsItsGoodKeys();
    void hugeValueIsCutToTheBuffer();
    void hugeNumbersAreHeldToTheirRange();
};

void TestDamagedFiles::paramsFileKeepsItsGoodRows_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::newRow("binary junk") << binaryJunk(64 * 1024);
    QTest::newRow("bad rows") << QByteArray("nan,1,NAN\r\ninf,1,INF\r\n1e999,1,BIG\r\n,,,\r\nx,1,X\r\n- 1,1,Y\r\n");
    QTest::newRow("huge line") << QByteArray(HUGE_LINE_BYTES, 'A');
    QTest::newRow("huge row") << QByteArray("12,1,") + QByteArray(HUGE_LINE_BYTES, 'N') + QByteArray(",V,0,0,1");
    QTest::newRow("bare carriage returns") << QByteArray("\r\r\r13,1\r\r");
    QTest::newRow("cut character") << QByteArray("14,1,\xD6");
}

void TestDamagedFiles::paramsFileKeepsItsGoodRows()
{
    QFETCH(QByteArray, damage);
    TestHome home;
    const QByteArray first = gbk(QStringLiteral("2,1,交流输出电压,V,0,198,253,VAC,0.1,0.0,1\r\n"));
    const QByteArray last = gbk(QStringLiteral("3,1,交流输出电流,A,0,0,16,IAC,0.01,0.00,1\r\n"));
    QVERIFY(writeBytes(paramsFilePath(), gbk(QStringLiteral("Vantoro 参数文件\r\n")) + first + damage + QByteArray("\r\n") + last));

    const ParamsRows rows = loadParamsRows();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows.first(), QStringLiteral("2,1,交流输出电压,V,0,198,253,VAC,0.1,0.0,1").split(QLatin1Char(',')));
    QCOMPARE(rows.last(), QStringLiteral("3,1,交流输出电流,A,0,0,16,IAC,0.01,0.00,1").split(QLatin1Char(',')));
    QCOMPARE(findParamsRow(rows, QStringLiteral("交流输出电流")), int(rows.size()) - 1);
    // Rows of numbers that are no numbers never count as parameter rows.
    for (const ParamsRow &row : rows) {
        QVERIFY(!rowField(row, PF_CODE).startsWith(QLatin1String("NAN")));
        QVERIFY(rowField(row, PF_NAME) != QLatin1String("INF") && rowField(row, PF_NAME) != QLatin1String("BIG"));
    }

    // A rewrite keeps every row it read, and the file stays readable.
    QString error;
    QVERIFY2(saveParamsFile(home.path(), rows, &error), qPrintable(error));
    QCOMPARE(loadParamsRows().size(), rows.size());
    QCOMPARE(loadParamsRows().last(), rows.last());
}

void TestDamagedFiles::languageFileKeepsItsGoodKeys_data()
{
    QTest::addColumn<QByteArray>("damage");
    QTest::addColumn<bool>("utf8");
    for (const bool utf8 : {false, true}) {
        const char *encoding = utf8 ? "UTF-8" : "GBK";
        QTest::addRow("%s binary junk", encoding) << binaryJunk(64 * 1024) << utf8;
        QTest::addRow("%s huge line", encoding) << QByteArray(HUGE_LINE_BYTES, 'x') << utf8;
        QTest::addRow("%s bad lines", encoding)
            << QByteArray("[\n[]\n=\n==\n]x[\nno equals sign\n[frmMain\n\x81\x30\n\xFF\xFE\xFD\n") << utf8;
        QTest::addRow("%s NUL bytes", encoding) << QByteArray(1000, '\0') << utf8;
    }
}

void TestDamagedFiles::languageFileKeepsItsGoodKeys()
{
    QFETCH(QByteArray, damage);
    QFETCH(bool, utf8);
    TestHome home;
    const QString before = QStringLiteral("[Application]\r\nConnecting=等待设备应答\r\n");
    const QString after = QStringLiteral("\r\n[frmMain]\r\nmsgConnTimeOut=应答超时,字节=\r\n");
    const QByteArray bytes = utf8 ? QByteArray("\xEF\xBB\xBF") + before.toUtf8() + damage + after.toUtf8()
                                  : gbk(before) + damage + gbk(after);
    QVERIFY(writeBytes(languageFile(LANGUAGE_CHINESE), bytes));
    sysSettings.languageIndex = LANGUAGE_CHINESE;

    QCOMPARE(langText(QStringLiteral("Application"), QStringLiteral("Connecting")), QStringLiteral("等待设备应答"));
    QCOMPARE(langText(QStringLiteral("frmMain"), QStringLiteral("msgConnTimeOut")), QStringLiteral("应答超时,字节="));
    // A key the file lacks reads as the key.
    QCOMPARE(langText(QStringLiteral("frmMain"), QStringLiteral("msgConnFail0")), QStringLiteral("msgConnFail0"));

    // The INI file damaged the same way still gives its setting, and takes a new one.
    const QString ini = home.file(QStringLiteral("VANTORO.INI"));
    QVERIFY(writeBytes(ini, damage + QByteArray("\r\n[Settings]\r\nLanguage=2\r\n")));
    QCOMPARE(readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("1"), ini), QStringLiteral("2"));
    QVERIFY(writeIni(QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("1"), ini));
    QCOMPARE(readIni(QStringLiteral("Settings"), QStringLiteral("Language"), QStringLiteral("2"), ini), QStringLiteral("1"));
}

void TestDamagedFiles::hugeValueIsCutToTheBuffer()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("langcn.ini"));
    // A 4 MB value of two-byte characters: 511 of them fit in 1023 bytes.
    QVERIFY(writeBytes(file, QByteArray("[Application]\r\nConnecting=") + gbk(QString(HUGE_LINE_BYTES / 2, QChar(0x4E2D)))));
    const QString value = readIni(QStringLiteral("Application"), QStringLiteral("Connecting"), QString(), file);
    QCOMPARE(value, QString(511, QChar(0x4E2D)));
}

void TestDamagedFiles::hugeNumbersAreHeldToTheirRange()
{
    // Numbers far outside an int, where the station reads whole numbers.
    TestHome home;
    MessageRecorder messages;
    QVERIFY(execSql(QStringLiteral("update sysset set comport='1e300', BeepFreq='-1e300', viewmode='1e300', "
                                   "retrytimes=1e300 where id=1")));
    QVERIFY(execSql(QStringLiteral("update devices set devaddr='1e300', devcomversion='-1e300'")));
    QVERIFY(execSql(QStringLiteral("update paraset set paraid='1e300' where paraid=29")));
    setUserValue(UserKeys::DebugMode, QStringLiteral("1e300"));
    initGlobals();
    QVERIFY(loadSystemSettings());
    QCOMPARE(sysSettings.comport, std::numeric_limits<int>::max());
    QCOMPARE(sysSettings.BeepFreq, std::numeric_limits<int>::min());
    QCOMPARE(sysSettings.retrytimes, std::numeric_limits<int>::max());
    const auto devices = loadDevices();
    QVERIFY(devices && devices->size() == 1);
    QCOMPARE(devices->at(0).address, std::numeric_limits<int>::max());
    QCOMPARE(devices->at(0).protocol, 1); // no protocol 2: the framed one
    QVERIFY(sysSettings.debugMode != 0);
    QVERIFY(loadParamTable(stationTable, stationDevice));
    QVERIFY(saveParamValues(stationTable, stationDevice));
    setUserValue(UserKeys::DebugMode, QStringLiteral("0"));

    QCOMPARE(truncatedInt(std::nan("")), 0);
    QCOMPARE(truncatedInt(-2.9), -2);
    QCOMPARE(roundHalfEven(1e300), std::numeric_limits<qint64>::max());
    QCOMPARE(roundHalfEven(-1e300), std::numeric_limits<qint64>::min());
}

QTEST_GUILESS_MAIN(TestDamagedFiles)
#include "tst_damaged_files.moc"
