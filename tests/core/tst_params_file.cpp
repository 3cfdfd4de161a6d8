// The parameter file: rows and headings, the look-up by name, and the
// rewrite that keeps headings, carries unused rows unchanged and never leaves
// the file missing or half written.
#include "core/params_file.h"
#include "test_support.h"

#include <QDir>
#include <QFile>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

QByteArray readBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeGbk(const QString &path, const QString &text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QStringEncoder encoder("GBK");
    f.write(encoder.encode(text));
}

QString gbkText(const QByteArray &bytes)
{
    QStringDecoder decoder("GBK");
    return decoder.decode(bytes);
}

} // namespace

class TestParamsFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void parameterLines_data();
    void parameterLines();
    void shippedFileLoadsThirtyRows();
    void findsByExactName();
    void saveKeepsHeadingsAndCarriesUnusedRows();
    void saveReplacesReadOnlyTempFile();
    void failedTempWriteLeavesOldFileWhole();
    void utf8FileStaysUtf8();
    void missingFileIsWrittenFromRows();
};

void TestParamsFile::parameterLines_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("isRow");
    QTest::newRow("row") << "3,1,交流输出电流,A,0,0,16" << true;
    QTest::newRow("padded number") << " 12 ,1,x" << true;
    QTest::newRow("decimal") << "1.5,x" << true;
    QTest::newRow("negative") << "-2,x" << true;
    QTest::newRow("heading") << "序号,启用,名称" << false;
    QTest::newRow("title") << "Vantoro 参数文件" << false;
    QTest::newRow("empty first field") << ",1,x" << false;
    QTest::newRow("number and text") << "3a,1,x" << false;
    QTest::newRow("empty") << "" << false;
}

void TestParamsFile::parameterLines()
{
    QFETCH(QString, line);
    QFETCH(bool, isRow);
    QCOMPARE(isParamsRowLine(line), isRow);
}

void TestParamsFile::shippedFileLoadsThirtyRows()
{
    TestHome home;
    const ParamsRows rows = loadParamsRows();
    QCOMPARE(rows.size(), 30);
    QCOMPARE(rows[3].value(PF_NAME), QStringLiteral("交流输出电流"));
    QCOMPARE(rows[3].value(PF_UNIT), QStringLiteral("A"));
    QVERIFY(rowInUse(rows[3]) && rowWatched(rows[3]) && rowBoundsEditable(rows[3]));
    QVERIFY(!rowInUse(rows[9]));
    QVERIFY(!rowBoundsEditable(rows[15]));
    QCOMPARE(rows[29].size(), 11);
}

void TestParamsFile::findsByExactName()
{
    const ParamsRows rows = {
        {"0", "1", "Volt"}, {"1", "1", "volt"}, {"2", "1", "温度"}, {"3", "1", "Volt"},
    };
    QCOMPARE(findParamsRow(rows, QStringLiteral("volt")), 1);
    QCOMPARE(findParamsRow(rows, QStringLiteral("Volt")), 0);
    QCOMPARE(findParamsRow(rows, QStringLiteral("温度")), 2);
    QCOMPARE(findParamsRow(rows, QStringLiteral("Volt ")), -1);
    QCOMPARE(findParamsRow({}, QStringLiteral("Volt")), -1);
}

void TestParamsFile::saveKeepsHeadingsAndCarriesUnusedRows()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("PARAMS.INI"));
    writeGbk(file, QStringLiteral("标题\r\n\r\n0,1,电压,V,0,1,2,VAC,0.1,0.0,1\r\n序号,启用\r\n"
                                  "1,0,频率,Hz,0,49,51,FAC,0.01,0.00,1\r\n7,1,旧行,,1,,,OLD,1,,0\r\n"));
    ParamsRows rows = {
        {"0", "1", "电压", "V", "0", "1", "2", "VAC", "0.1", "0.0", "1"},
        {"1", "0", "频率", "Hz", "0", "49", "51", "FAC", "0.01", "0.00", "1"},
    };
    setRowField(rows[0], PF_LOWER, QStringLiteral(" 1e2x"));
    setRowField(rows[0], PF_UPPER, QStringLiteral("abc"));
    setRowField(rows[0], PF_WARNING, QStringLiteral("0"));
    QString error;
    QVERIFY2(saveParamsFile(home.path(), rows, &error), qPrintable(error));

    const QByteArray bytes = readBytes(file);
    QCOMPARE(gbkText(bytes),
             QStringLiteral("标题\r\n序号,启用\r\n0,1,电压,V,0, 1e2x,abc,VAC,0.1,0.0,0\r\n"
                            "1,0,频率,Hz,0,49,51,FAC,0.01,0.00,1\r\n"));
    QCOMPARE(readBytes(home.file(QStringLiteral("PARAMS.TMP"))), bytes);
    QCOMPARE(loadParamsRows(file), rows);
}

void TestParamsFile::saveReplacesReadOnlyTempFile()
{
    TestHome home;
    const QString temp = home.file(QStringLiteral("params.tmp"));
    QFile old(temp);
    QVERIFY(old.open(QIODevice::WriteOnly));
    old.write("stale");
    old.close();
    QFile::setPermissions(temp, QFile::ReadOwner);
    const ParamsRows rows = loadParamsRows();
    QVERIFY(saveParamsFile(home.path(), rows));
    QCOMPARE(readBytes(temp), readBytes(home.file(QStringLiteral("PARAMS.INI"))));
    QCOMPARE(loadParamsRows(), rows);
}

void TestParamsFile::failedTempWriteLeavesOldFileWhole()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("PARAMS.INI"));
    const QByteArray before = readBytes(file);
    // A directory where the temporary file belongs can be neither removed
    // nor written.
    QVERIFY(QDir(home.path()).mkpath(QStringLiteral("PARAMS.TMP/inside")));
    ParamsRows rows = loadParamsRows();
    setRowField(rows[2], PF_LOWER, QStringLiteral("1"));
    QString error;
    QVERIFY(!saveParamsFile(home.path(), rows, &error));
    QVERIFY(error.contains(QLatin1String("PARAMS.TMP")));
    QCOMPARE(readBytes(file), before);

    // A comma would shift every later field; GBK has no emoji. Both are
    // refused before the file is touched, never written changed.
    for (const QString &bad : {QStringLiteral("1,5"), QStringLiteral("Volt \U0001F600")}) {
        ParamsRows refused = loadParamsRows();
        setRowField(refused[2], PF_NAME, bad);
        QVERIFY(!saveParamsFile(home.path(), refused, &error));
        QVERIFY2(error.contains(bad), qPrintable(error));
        QCOMPARE(readBytes(file), before);
    }
    QVERIFY(isBoundText(QStringLiteral(" 5e2 ")) && isBoundText(QStringLiteral("-0.5")));
    QVERIFY(!isBoundText(QStringLiteral("1,5")) && !isBoundText(QString()) && !isBoundText(QStringLiteral("inf")));
    const QStringList leftovers = QDir(home.path()).entryList(QDir::Files);
    QVERIFY2(leftovers.filter(QStringLiteral("PARAMS"), Qt::CaseInsensitive) == QStringList{QStringLiteral("PARAMS.INI")},
             qPrintable(leftovers.join(QLatin1Char(' '))));
}

void TestParamsFile::utf8FileStaysUtf8()
{
    TestHome home;
    const QString file = home.file(QStringLiteral("PARAMS.INI"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("\xEF\xBB\xBF") + QStringLiteral("说明\r\n0,1,电压,V,0,1,2,VAC,0.1,0.0,1\r\n").toUtf8());
    f.close();
    const ParamsRows rows = loadParamsRows(file);
    QCOMPARE(rows.value(0).value(PF_NAME), QStringLiteral("电压"));
    QVERIFY(saveParamsFile(home.path(), rows));
    QVERIFY(readBytes(file).startsWith("\xEF\xBB\xBF"));
    QCOMPARE(loadParamsRows(file), rows);
}

void TestParamsFile::missingFileIsWrittenFromRows()
{
    TestHome home(false);
    const ParamsRows rows = {{"0", "1", "A"}, {"1", "0", "B"}};
    QVERIFY(saveParamsFile(home.path(), rows));
    QCOMPARE(readBytes(home.file(QStringLiteral("PARAMS.INI"))), QByteArray("0,1,A\r\n1,0,B\r\n"));
}

QTEST_GUILESS_MAIN(TestParamsFile)
#include "tst_params_file.moc"
