// Checks the shipped default database and PARAMS.INI against what the station
// relies on: one row per slot, usable status bits, restorable factory tables.
#include "core/common.h"
#include "core/database.h"
#include "test_support.h"

#include <QFile>
#include <QSet>
#include <QStringDecoder>
#include <QtTest>
#include <algorithm>
#include <memory>

using namespace vantoro;

namespace {

const QStringList factoryRatings = {QStringLiteral("1K5"), QStringLiteral("2K"), QStringLiteral("2K5"),
                                    QStringLiteral("3K"), QStringLiteral("5K")};

RecordSet query(const QString &sql)
{
    QString error;
    const auto rs = rsSqlGet(sql, {}, &error);
    if (!rs)
        qFatal("%s: %s", qPrintable(sql), qPrintable(error));
    return *rs;
}

// Column names and declared types, in order.
QStringList columnsOf(const QString &table)
{
    const RecordSet rs = query(QStringLiteral("pragma table_info(%1)").arg(table));
    QStringList out;
    for (int i = 0; i < rs.recordCount(); ++i)
        out << rs.text(i, QStringLiteral("name")) + QLatin1Char(' ') + rs.text(i, QStringLiteral("type"));
    return out;
}

} // namespace

class TestDefaultDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everySlotHasOneRow();
    void statusBitsAreUsable();
    void limitsAreConsistent_data();
    void limitsAreConsistent();
    void factoryTablesMatchParaset_data();
    void factoryTablesMatchParaset();
    void defaultRatingEqualsParaset();
    void paramsIniMatchesParaset();

private:
    std::unique_ptr<test::TestHome> m_home;
};

void TestDefaultDatabase::initTestCase()
{
    test::isolateUserSettings();
    m_home = std::make_unique<test::TestHome>();
    DbConnection connection;
    QVERIFY2(connection.isOpen(), qPrintable(connection.errorText()));
}

void TestDefaultDatabase::everySlotHasOneRow()
{
    const RecordSet rs = query(QStringLiteral("select PARAID, PARACODE, PARANAME from paraset where DEVID='001'"));
    QCOMPARE(rs.recordCount(), 30);
    QSet<int> ids;
    QSet<QString> codes;
    QSet<QString> names;
    for (int i = 0; i < rs.recordCount(); ++i) {
        ids << rs.value(i, QStringLiteral("PARAID")).toInt();
        codes << rs.text(i, QStringLiteral("PARACODE"));
        names << rs.text(i, QStringLiteral("PARANAME"));
    }
    QCOMPARE(ids.size(), 30);
    QCOMPARE(*std::min_element(ids.begin(), ids.end()), 0);
    QCOMPARE(*std::max_element(ids.begin(), ids.end()), 29);
    // Code and name both identify a parameter (the station by code, the
    // warning editor by name).
    QCOMPARE(codes.size(), 30);
    QCOMPARE(names.size(), 30);
    QVERIFY(!codes.contains(QString()));
    QVERIFY(!names.contains(QString()));
}

void TestDefaultDatabase::statusBitsAreUsable()
{
    const RecordSet bits = query(QStringLiteral(
        "select PARAID, PARACODE, ISSTRING, SRCSTRING, OKSTRING, PARAVALUE, WARNINGENABLED "
        "from paraset where DEVID='001' and PARAID between 14 and 29"));
    QCOMPARE(bits.recordCount(), 16);
    int underVoltage = 0;
    for (int i = 0; i < bits.recordCount(); ++i) {
        const QString id = bits.text(i, QStringLiteral("PARAID"));
        const QString set = bits.text(i, QStringLiteral("SRCSTRING"));
        const QString clear = bits.text(i, QStringLiteral("OKSTRING"));
        QVERIFY2(bits.value(i, QStringLiteral("ISSTRING")).toInt() == 1, qPrintable(id));
        QVERIFY2(!set.isEmpty() && !clear.isEmpty() && set != clear, qPrintable(id));
        // Before the first reply every bit reads as normal.
        QCOMPARE(bits.text(i, QStringLiteral("PARAVALUE")), clear);
        if (bits.text(i, QStringLiteral("PARACODE")) == QLatin1String("DCUV")) {
            ++underVoltage;
            QCOMPARE(bits.value(i, QStringLiteral("WARNINGENABLED")).toInt(), 1);
        }
    }
    QCOMPARE(underVoltage, 1);
    QCOMPARE(query(QStringLiteral("select * from paraset where PARACODE='DCUV'")).recordCount(), 1);
}

void TestDefaultDatabase::limitsAreConsistent_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("paraset") << QStringLiteral("paraset");
    for (const QString &rating : factoryRatings)
        QTest::newRow(qPrintable(rating)) << QStringLiteral("paraset_") + rating;
}

void TestDefaultDatabase::limitsAreConsistent()
{
    QFETCH(QString, table);
    const RecordSet rs = query(QStringLiteral("select PARAID, RANGEL, RANGEU, BOUNDL, BOUNDU from %1 "
                                              "where ISSTRING=0").arg(table));
    QVERIFY(rs.recordCount() > 0);
    for (int i = 0; i < rs.recordCount(); ++i) {
        const QString id = rs.text(i, QStringLiteral("PARAID"));
        for (const char *column : {"RANGEL", "RANGEU", "BOUNDL", "BOUNDU"})
            QVERIFY2(!rs.value(i, QLatin1String(column)).isNull(), qPrintable(id + QLatin1Char(' ') + QLatin1String(column)));
        const double rangel = rs.value(i, QStringLiteral("RANGEL")).toDouble();
        const double rangeu = rs.value(i, QStringLiteral("RANGEU")).toDouble();
        const double boundl = rs.value(i, QStringLiteral("BOUNDL")).toDouble();
        const double boundu = rs.value(i, QStringLiteral("BOUNDU")).toDouble();
        QVERIFY2(rangel < rangeu, qPrintable(id));
        QVERIFY2(boundl >= rangel && boundu <= rangeu && boundl <= boundu, qPrintable(id));
    }
}

void TestDefaultDatabase::factoryTablesMatchParaset_data()
{
    QTest::addColumn<QString>("table");
    for (const QString &rating : factoryRatings)
        QTest::newRow(qPrintable(rating)) << QStringLiteral("paraset_") + rating;
}

void TestDefaultDatabase::factoryTablesMatchParaset()
{
    QFETCH(QString, table);
    // "insert into paraset select * from <table>" needs the same columns in order.
    QCOMPARE(columnsOf(table), columnsOf(QStringLiteral("paraset")));
    QCOMPARE(query(QStringLiteral("select * from %1 where DEVID='001'").arg(table)).recordCount(), 30);
    // A restore keeps every slot's meaning; only limits follow the rating.
    const QString identity = QStringLiteral("select PARAID, PARACODE, PARANAME, UNIT, MULTIPLE, ISSTRING, "
                                            "SRCSTRING, OKSTRING, DATAFORMAT from %1");
    QCOMPARE(query(identity.arg(table) + QStringLiteral(" except ") + identity.arg(QStringLiteral("paraset")))
                 .recordCount(),
             0);
}

void TestDefaultDatabase::defaultRatingEqualsParaset()
{
    // Restoring the default device's rating on a fresh install changes nothing.
    QCOMPARE(query(QStringLiteral("select DEVPOWER from devices where id='001'")).text(0, QStringLiteral("DEVPOWER")),
             QStringLiteral("3K"));
    QCOMPARE(query(QStringLiteral("select * from paraset except select * from paraset_3K")).recordCount(), 0);
    QCOMPARE(query(QStringLiteral("select * from paraset_3K except select * from paraset")).recordCount(), 0);
}

void TestDefaultDatabase::paramsIniMatchesParaset()
{
    QFile file(findFileNoCase(m_home->path(), QStringLiteral("PARAMS.INI")));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    const QByteArray bytes = file.readAll();
    QVERIFY(bytes.endsWith("\r\n"));
    QCOMPARE(bytes.count('\n'), bytes.count("\r\n"));
    QStringDecoder gbk("GBK");
    QVERIFY(gbk.isValid());
    const QString text = gbk.decode(bytes);
    QVERIFY(!gbk.hasError());

    const RecordSet rs = query(QStringLiteral(
        "select PARAID, PARANAME, ENABLED, PARACODE, WARNINGENABLED, ISSTRING, RANGEL, RANGEU from paraset "
        "where DEVID='001'"));
    QSet<int> seen;
    for (const QString &line : text.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QStringList fields = line.split(QLatin1Char(','));
        bool numeric = false;
        const int id = fields.first().toInt(&numeric);
        if (!numeric)
            continue;
        QCOMPARE(fields.size(), 11);
        QVERIFY2(!seen.contains(id), qPrintable(line));
        seen << id;
        int row = -1;
        for (int i = 0; i < rs.recordCount() && row < 0; ++i) {
            if (rs.value(i, QStringLiteral("PARAID")).toInt() == id)
                row = i;
        }
        QVERIFY2(row >= 0, qPrintable(line));
        QCOMPARE(fields[2], rs.text(row, QStringLiteral("PARANAME")));
        QCOMPARE(fields[1], rs.text(row, QStringLiteral("ENABLED")));
        QCOMPARE(fields[7], rs.text(row, QStringLiteral("PARACODE")));
        QCOMPARE(fields[10], rs.text(row, QStringLiteral("WARNINGENABLED")));
        if (rs.value(row, QStringLiteral("ISSTRING")).toInt() == 0 && fields[4] == QLatin1String("0")) {
            QCOMPARE(leadingNumber(fields[5]), rs.value(row, QStringLiteral("RANGEL")).toDouble());
            QCOMPARE(leadingNumber(fields[6]), rs.value(row, QStringLiteral("RANGEU")).toDouble());
        }
    }
    QCOMPARE(seen.size(), rs.recordCount());
}

QTEST_GUILESS_MAIN(TestDefaultDatabase)
#include "tst_default_database.moc"
