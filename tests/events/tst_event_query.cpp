// The event list statements: quoted column titles, whole days, newest first
// from the logtime index, and the row status text.
#include "core/database.h"
#include "events/event_query.h"
#include "test_support.h"

#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QSqlRecord>
#include <QtTest>

using namespace vantoro;

class TestEventQuery : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void titlesAreQuotedIdentifiers_data();
    void titlesAreQuotedIdentifiers();
    void wholeDaysNewestFirst();
    void listUsesTheIndexForRangeAndOrder();
    void rowStatusText();

private:
    std::unique_ptr<test::TestHome> m_home;
};

void TestEventQuery::initTestCase()
{
    test::isolateUserSettings();
}

void TestEventQuery::init()
{
    m_home = std::make_unique<test::TestHome>();
}

void TestEventQuery::cleanup()
{
    m_home.reset();
}

void TestEventQuery::titlesAreQuotedIdentifiers_data()
{
    QTest::addColumn<QString>("timeTitle");
    QTest::addColumn<QString>("eventTitle");
    QTest::newRow("plain") << QStringLiteral("Time") << QStringLiteral("Event");
    QTest::newRow("chinese with blank") << QStringLiteral("时 间") << QStringLiteral("事件");
    QTest::newRow("quotes and punctuation") << QStringLiteral("Time \"local\"") << QStringLiteral("Event; drop table eventlog; --");
    QTest::newRow("keywords") << QStringLiteral("from") << QStringLiteral("order");
}

void TestEventQuery::titlesAreQuotedIdentifiers()
{
    QFETCH(QString, timeTitle);
    QFETCH(QString, eventTitle);
    QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', 'x', ?, 0)"),
                    {QStringLiteral("2024-03-10 12:00:00")}));
    const EventQuery list = eventListQuery(QDate(2024, 3, 10), QDate(2024, 3, 10), timeTitle, eventTitle);
    DbConnection connection;
    QSqlQueryModel model;
    int count = -1;
    QString error;
    QVERIFY2(runEventListQuery(model, connection.database(), list, eventCountQuery(QDate(2024, 3, 10), QDate(2024, 3, 10)),
                               &count, &error),
             qPrintable(error));
    QCOMPARE(count, 1);
    QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), timeTitle);
    QCOMPARE(model.headerData(1, Qt::Horizontal).toString(), eventTitle);
    model.clear();
    QCOMPARE(rsSqlGet(QStringLiteral("select count(*) as n from eventlog"))->value(0, QStringLiteral("n")).toInt(), 1);
}

void TestEventQuery::wholeDaysNewestFirst()
{
    const QStringList times = {
        QStringLiteral("2024-03-09 23:59:59"), QStringLiteral("2024-03-10 00:00:00"),
        QStringLiteral("2024-03-11 12:00:00"), QStringLiteral("2024-03-11 12:00:00"),
        QStringLiteral("2024-03-12 23:59:59"), QStringLiteral("2024-03-13 00:00:00"),
    };
    for (int i = 0; i < times.size(); ++i)
        QVERIFY(execSql(QStringLiteral("insert into eventlog (devid, eventname, logtime, mailsent) values ('001', ?, ?, 0)"),
                        {QStringLiteral("e%1").arg(i), times[i]}));

    DbConnection connection;
    QSqlQueryModel model;
    int count = -1;
    QVERIFY(runEventListQuery(model, connection.database(),
                              eventListQuery(QDate(2024, 3, 10), QDate(2024, 3, 12), QStringLiteral("t"), QStringLiteral("e")),
                              eventCountQuery(QDate(2024, 3, 10), QDate(2024, 3, 12)), &count, nullptr));
    QCOMPARE(count, 4);
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << model.index(row, 1).data().toString();
    // Events of the same second keep the order they were stored in, newest first.
    QCOMPARE(names, QStringList({QStringLiteral("e4"), QStringLiteral("e3"), QStringLiteral("e2"), QStringLiteral("e1")}));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("2024-03-12 23:59:59"));
}

void TestEventQuery::listUsesTheIndexForRangeAndOrder()
{
    const EventQuery list = eventListQuery(QDate(2024, 3, 10), QDate(2024, 3, 10), QStringLiteral("t"), QStringLiteral("e"));
    DbConnection connection;
    QSqlQuery plan(connection.database());
    QVERIFY(plan.prepare(QStringLiteral("explain query plan ") + list.sql));
    for (const QVariant &value : list.binds)
        plan.addBindValue(value);
    QVERIFY(plan.exec());
    QString details;
    while (plan.next())
        details += plan.value(plan.record().indexOf(QStringLiteral("detail"))).toString() + QLatin1Char('\n');
    QVERIFY2(details.contains(QStringLiteral("ix_eventlog_logtime")), qPrintable(details));
    QVERIFY2(!details.contains(QStringLiteral("TEMP B-TREE")), qPrintable(details));
}

void TestEventQuery::rowStatusText()
{
    QCOMPARE(eventRowStatusText(0, 10), QStringLiteral("1 of 11"));
    QCOMPARE(eventRowStatusText(9, 10), QStringLiteral("10 of 11"));
    QCOMPARE(quoteSqlIdentifier(QStringLiteral("a\"b")), QStringLiteral("\"a\"\"b\""));
}

QTEST_GUILESS_MAIN(TestEventQuery)
#include "tst_event_query.moc"
