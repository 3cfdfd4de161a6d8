// The factory copies of the parameter table: which ratings may name a table,
// restoring and saving as one transaction, and paraset never left empty.
#include "core/database.h"
#include "core/factory_tables.h"
#include "test_support.h"

#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

int count(const QString &sql)
{
    const auto rs = rsSqlGet(sql);
    return rs && rs->recordCount() == 1 ? rs->rows[0][0].toInt() : -1;
}

// Rows of `a` missing from `b` plus rows of `b` missing from `a`.
int difference(const QString &a, const QString &b)
{
    return count(QStringLiteral("select count(*) from (select * from %1 except select * from %2)").arg(a, b))
        + count(QStringLiteral("select count(*) from (select * from %1 except select * from %2)").arg(b, a));
}

void exec(const QString &sql)
{
    QString error;
    QVERIFY2(execSql(sql, {}, &error), qPrintable(error));
}

} // namespace

class TestFactoryTables : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void ratingsThatMayNameATable_data();
    void ratingsThatMayNameATable();
    void restoreCopiesTheFactoryTable();
    void saveAsFactoryReplacesTheFactoryTable();
    void missingOrEmptyFactoryTableLeavesParasetWhole_data();
    void missingOrEmptyFactoryTableLeavesParasetWhole();
    void failedInsertRollsTheDeleteBack();
    void refusedRatingTouchesNothing();
    void restoringOneDeviceKeepsTheOthers();
};

void TestFactoryTables::ratingsThatMayNameATable_data()
{
    QTest::addColumn<QString>("rating");
    QTest::addColumn<bool>("valid");
    for (const char *known : {"1K5", "2K", "2K5", "3K", "5K"})
        QTest::newRow(known) << QString::fromLatin1(known) << true;
    QTest::newRow("other letters and digits") << "10K" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("blank inside") << "3 K" << false;
    QTest::newRow("padded") << " 3K" << false;
    QTest::newRow("statement") << "3K; drop table paraset" << false;
    QTest::newRow("quote") << "3K\"" << false;
    QTest::newRow("underscore") << "3K_old" << false;
    QTest::newRow("not ASCII") << "三千" << false;
}

void TestFactoryTables::ratingsThatMayNameATable()
{
    QFETCH(QString, rating);
    QFETCH(bool, valid);
    QCOMPARE(isValidPowerRating(rating), valid);
    QCOMPARE(factoryTableName(rating), valid ? QStringLiteral("paraset_") + rating : QString());
}

void TestFactoryTables::restoreCopiesTheFactoryTable()
{
    TestHome home;
    QVERIFY(difference("paraset", "paraset_2K5") > 0);
    QString error;
    QVERIFY2(restoreFactoryParameters(QStringLiteral("2K5"), &error), qPrintable(error));
    QCOMPARE(difference("paraset", "paraset_2K5"), 0);
    QCOMPARE(count("select count(*) from paraset"), count("select count(*) from paraset_2K5"));
}

void TestFactoryTables::saveAsFactoryReplacesTheFactoryTable()
{
    TestHome home;
    exec("update paraset set RANGEU=260, PARANAME='输出电压' where PARAID=2");
    exec("delete from paraset where PARAID=29");
    QString error;
    QVERIFY2(saveParametersAsFactory(QStringLiteral("2K5"), &error), qPrintable(error));
    QCOMPARE(difference("paraset", "paraset_2K5"), 0);
    QCOMPARE(count("select count(*) from paraset_2K5"), 29);
    QCOMPARE(count("select count(*) from paraset_2K5 where RANGEU=260 and PARANAME='输出电压'"), 1);
    // The other ratings keep their own copies.
    QVERIFY(difference("paraset", "paraset_5K") > 0);
}

void TestFactoryTables::missingOrEmptyFactoryTableLeavesParasetWhole_data()
{
    QTest::addColumn<QString>("rating");
    QTest::addColumn<QString>("prepare");
    QTest::newRow("no such table") << "7K" << "";
    QTest::newRow("empty table") << "5K" << "delete from paraset_5K";
}

void TestFactoryTables::missingOrEmptyFactoryTableLeavesParasetWhole()
{
    QFETCH(QString, rating);
    QFETCH(QString, prepare);
    TestHome home;
    exec("create table before_restore as select * from paraset");
    if (!prepare.isEmpty())
        exec(prepare);
    QString error;
    QVERIFY(!restoreFactoryParameters(rating, &error));
    QVERIFY2(error.contains(QStringLiteral("paraset_") + rating), qPrintable(error));
    QCOMPARE(count("select count(*) from paraset"), 30);
    QCOMPARE(difference("paraset", "before_restore"), 0);
    // Saving into a missing table does not create one.
    if (prepare.isEmpty()) {
        QVERIFY(!saveParametersAsFactory(rating, &error));
        QCOMPARE(count(QStringLiteral("select count(*) from sqlite_master where name='paraset_%1'").arg(rating)), 0);
    }
}

void TestFactoryTables::failedInsertRollsTheDeleteBack()
{
    TestHome home;
    // A factory table without the columns of paraset: the delete runs, the
    // insert fails, and both must come undone together.
    exec("create table paraset_9K (DEVID varchar(10), PARAID integer)");
    exec("insert into paraset_9K values ('001', 0)");
    exec("create table before_restore as select * from paraset");
    QString error;
    QVERIFY(!restoreFactoryParameters(QStringLiteral("9K"), &error));
    QVERIFY(!error.isEmpty());
    QCOMPARE(count("select count(*) from paraset"), 30);
    QCOMPARE(difference("paraset", "before_restore"), 0);

    QVERIFY(!saveParametersAsFactory(QStringLiteral("9K"), &error));
    QCOMPARE(count("select count(*) from paraset_9K"), 1);
}

void TestFactoryTables::refusedRatingTouchesNothing()
{
    TestHome home;
    exec("create table before_restore as select * from paraset");
    QString error;
    QVERIFY(!restoreFactoryParameters(QStringLiteral("3K; delete from paraset"), &error));
    QVERIFY(error.contains(QLatin1String("power rating")));
    QVERIFY(!saveParametersAsFactory(QStringLiteral("3K'"), &error));
    QCOMPARE(difference("paraset", "before_restore"), 0);
    QCOMPARE(count("select count(*) from paraset_3K"), 30);
}

void TestFactoryTables::restoringOneDeviceKeepsTheOthers()
{
    TestHome home;
    exec("insert into paraset select * from paraset_5K");
    exec("update paraset set DEVID='002', RANGEU=999 where rowid > 30");
    exec("update paraset set RANGEU=111 where DEVID='001'");
    exec("create table first_before as select * from paraset where DEVID='001'");
    QString error;
    QVERIFY2(restoreFactoryParameters(QStringLiteral("2K5"), QStringLiteral("002"), &error), qPrintable(error));
    QCOMPARE(count("select count(*) from paraset where DEVID='002'"), 30);
    QCOMPARE(count("select count(*) from paraset where DEVID='002' and RANGEU=999"), 0);
    QCOMPARE(difference("(select * from paraset where DEVID='001')", "first_before"), 0);
    exec("create table second_now as select * from paraset where DEVID='002'");
    exec("update second_now set DEVID='001'");
    QCOMPARE(difference("second_now", "paraset_2K5"), 0);

    // Saving one device's rows as a factory table takes its rows alone, as
    // the shipped tables hold them.
    QVERIFY2(saveParametersAsFactory(QStringLiteral("5K"), QStringLiteral("002"), &error), qPrintable(error));
    QCOMPARE(count("select count(*) from paraset_5K"), 30);
    QCOMPARE(difference("second_now", "paraset_5K"), 0);
    QVERIFY(!saveParametersAsFactory(QStringLiteral("5K"), QStringLiteral("007"), &error));
    QVERIFY2(error.contains(QLatin1String("007")), qPrintable(error));
    QCOMPARE(count("select count(*) from paraset_5K"), 30);

    // A failed copy leaves the device's rows as they were.
    exec("create table paraset_9K (DEVID varchar(10), PARAID integer)");
    exec("insert into paraset_9K values ('001', 0)");
    QVERIFY(!restoreFactoryParameters(QStringLiteral("9K"), QStringLiteral("002"), &error));
    QCOMPARE(count("select count(*) from paraset where DEVID='002'"), 30);
}

QTEST_GUILESS_MAIN(TestFactoryTables)
#include "tst_factory_tables.moc"
