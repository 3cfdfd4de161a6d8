// Loading and saving the parameter table against a private copy of the database.
#include "acquisition/param_table.h"
#include "core/database.h"
#include "events/event_log.h"
#include "test_support.h"

#include <QSqlQuery>
#include <QtTest>

using namespace vantoro;

namespace {

// A paraset row: device "001", a numeric parameter with limits 0..100,
// with the given columns changed.
QVariantMap row(const QVariant &paraid, const QVariantMap &changes = {})
{
    QVariantMap r{{"DEVID", "001"}, {"PARAID", paraid}, {"PARACODE", "C"}, {"PARANAME", "name"}, {"ENABLED", 1},
                  {"PARAVALUE", "0"}, {"MULTIPLE", 0.1}, {"UNIT", "V"}, {"RANGEL", 0}, {"RANGEU", 100},
                  {"BOUNDL", 0}, {"BOUNDU", 100}, {"ISSTRING", 0}, {"SRCSTRING", "fault"}, {"OKSTRING", "ok"},
                  {"FOUNDERROR", 0}, {"DEVPART", 1}, {"WARNINGENABLED", 1}, {"UPDATED", 0},
                  {"UPDATETIME", QVariant()}, {"MMFILEURL", ""}, {"DATAFORMAT", "0.0"}};
    for (auto it = changes.begin(); it != changes.end(); ++it)
        r[it.key()] = it.value();
    return r;
}

void replaceRows(const QList<QVariantMap> &rows)
{
    QVERIFY(execSql(QStringLiteral("delete from paraset")));
    for (const QVariantMap &r : rows) {
        const QStringList columns = r.keys();
        const QString sql = QStringLiteral("insert into paraset (%1) values (%2)")
                                .arg(columns.join(QLatin1Char(',')), QStringList(columns.size(), "?").join(','));
        QString error;
        QVERIFY2(execSql(sql, r.values(), &error), qPrintable(error));
    }
}

QVariant stored(const QString &devid, int paraid, const char *column)
{
    const auto rs = rsSqlGet(QStringLiteral("select %1 from paraset where devid=? and paraid=?").arg(QLatin1String(column)),
                             {devid, paraid});
    return rs && rs->recordCount() == 1 ? rs->rows[0][0] : QVariant();
}

QStringList events()
{
    QStringList out;
    if (const auto rs = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid")))
        for (const QVariantList &row : rs->rows)
            out << row[0].toString();
    return out;
}

} // namespace

class TestParamTable : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { test::isolateUserSettings(); }
    void init()
    {
        m_home = std::make_unique<test::TestHome>();
        m_table = ParamTable();
        clearRunningLog();
        resetEventThrottle();
    }
    void cleanup() { m_home.reset(); }

    void loadCorrectsLimitsAndSkipsForeignRows()
    {
        replaceRows({row(2, {{"RANGEL", 198}, {"RANGEU", 253}, {"BOUNDL", 150}, {"BOUNDU", 300}}),
                     row(3, {{"RANGEU", 16}, {"BOUNDL", 1}, {"BOUNDU", 15}}),
                     row(14, {{"RANGEU", 1}, {"BOUNDU", 1}, {"ISSTRING", 1}}),
                     row(5, {{"ENABLED", "3x"}, {"MULTIPLE", "abc"}}),
                     row(4, {{"DEVID", "002"}}),
                     row(31)});
        m_table[9].paracode = QStringLiteral("kept");

        QVERIFY(loadParamTable(m_table, QStringLiteral("001")));

        const ParamRecord &n = m_table[2];
        QCOMPARE(n.devid, QStringLiteral("001"));
        QCOMPARE(n.paraid, QStringLiteral("2"));
        QCOMPARE(n.multiple, 0.1);
        QCOMPARE(n.paravalue.toString(), QStringLiteral("0"));
        QCOMPARE(*n.rangel, 198.0);
        QCOMPARE(*n.boundl, 198.0); // raised to the low limit
        QCOMPARE(*n.boundu, 253.0); // lowered to the high limit
        QCOMPARE(*m_table[3].boundl, 1.0);
        QCOMPARE(*m_table[3].boundu, 15.0);

        const ParamRecord &s = m_table[14];
        QVERIFY(!s.rangel && !s.rangeu && !s.boundl && !s.boundu);
        QCOMPARE(field(m_table, 14, COL_RANGEU), QVariant(QString()));
        QCOMPARE(s.srcstring, QStringLiteral("fault"));

        QCOMPARE(m_table[5].enabled, 3.0);
        QCOMPARE(m_table[5].multiple, 0.0);

        QVERIFY(m_table[4].isEmpty()); // the row of device 002
        QCOMPARE(m_table[9].paracode, QStringLiteral("kept"));
        QVERIFY(runningLogText().contains(QStringLiteral("Parameter 31 skipped")));
    }

    void loadWithoutRowsReportsAndKeepsTable()
    {
        test::MessageRecorder recorder;
        replaceRows({row(2, {{"DEVID", "002"}})});
        m_table[2].paracode = QStringLiteral("before");

        QVERIFY(!loadParamTable(m_table, QStringLiteral("001")));

        QCOMPARE(recorder.beeps, 1);
        QCOMPARE(events(), QStringList{QStringLiteral("Device Parameters Error!")});
        QCOMPARE(m_table[2].paracode, QStringLiteral("before"));
    }

    void saveWritesLiveColumnsAndCountsSaves()
    {
        const QString oldTime = QStringLiteral("2020-01-02 03:04:05");
        replaceRows({row(2, {{"UPDATED", 126}, {"UPDATETIME", oldTime}}),
                     row(3, {{"UPDATED", 127}, {"UPDATETIME", oldTime}}),
                     row(4, {{"UPDATED", QVariant()}, {"UPDATETIME", oldTime}}),
                     row(2, {{"DEVID", "002"}, {"PARAVALUE", "other"}, {"UPDATED", 5}})});
        QVERIFY(loadParamTable(m_table, QStringLiteral("001")));
        const QDateTime when(QDate(2024, 6, 1), QTime(12, 30, 0));
        m_table[2].paravalue = 231.5;
        m_table[2].founderror = 1;
        m_table[2].updatetime = when;
        m_table[3].paravalue = QStringLiteral("正常");
        m_table[3].updatetime = QString(); // not a date: the stored time stays
        m_table[4].paravalue = float(-0.5f);
        m_table[4].updatetime = QStringLiteral("not a date");

        QVERIFY(saveParamValues(m_table, QStringLiteral("001")));
        QCOMPARE(stored(QStringLiteral("001"), 2, "paravalue").toString(), QStringLiteral("231.5"));
        QCOMPARE(stored(QStringLiteral("001"), 2, "founderror").toInt(), 1);
        QCOMPARE(stored(QStringLiteral("001"), 2, "updated").toInt(), 127);
        QCOMPARE(stored(QStringLiteral("001"), 2, "updatetime").toString(), QStringLiteral("2024-06-01 12:30:00"));
        QCOMPARE(stored(QStringLiteral("001"), 3, "paravalue").toString(), QStringLiteral("正常"));
        QCOMPARE(stored(QStringLiteral("001"), 3, "updated").toInt(), 127);
        QCOMPARE(stored(QStringLiteral("001"), 3, "updatetime").toString(), oldTime);
        QCOMPARE(stored(QStringLiteral("001"), 4, "paravalue").toString(), QStringLiteral("-0.5"));
        QCOMPARE(stored(QStringLiteral("001"), 4, "updated").toInt(), 1);
        QCOMPARE(stored(QStringLiteral("001"), 4, "updatetime").toString(), oldTime);
        QCOMPARE(stored(QStringLiteral("002"), 2, "paravalue").toString(), QStringLiteral("other"));
        QCOMPARE(stored(QStringLiteral("002"), 2, "updated").toInt(), 5);

        // The values survive a reload; a second save keeps the counter at 127.
        m_table = ParamTable();
        QVERIFY(loadParamTable(m_table, QStringLiteral("001")));
        QCOMPARE(m_table[2].number(), 231.5);
        QVERIFY(saveParamValues(m_table, QStringLiteral("001")));
        QCOMPARE(stored(QStringLiteral("001"), 2, "updated").toInt(), 127);
        QCOMPARE(stored(QStringLiteral("001"), 4, "updated").toInt(), 2);
    }

    void failedSaveWritesNothing()
    {
        replaceRows({row(2), row(3), row(5)});
        QVERIFY(loadParamTable(m_table, QStringLiteral("001")));
        for (int slot : {2, 3, 5})
            m_table[size_t(slot)].paravalue = 42.0;
        // The third row refuses its update: the rows before it must not change.
        QVERIFY(execSql(QStringLiteral("create trigger refuse before update on paraset when old.paraid = 5 "
                                       "begin select raise(abort, 'refused'); end")));

        QVERIFY(!saveParamValues(m_table, QStringLiteral("001")));
        QCOMPARE(stored(QStringLiteral("001"), 2, "paravalue").toString(), QStringLiteral("0"));
        QCOMPARE(stored(QStringLiteral("001"), 2, "updated").toInt(), 0);
        QVERIFY(runningLogText().contains(QStringLiteral("Parameter values not saved")));

        QVERIFY(execSql(QStringLiteral("drop table paraset")));
        QVERIFY(!saveParamValues(m_table, QStringLiteral("001")));
        QVERIFY(!loadParamTable(m_table, QStringLiteral("001")));
        QVERIFY(runningLogText().contains(QStringLiteral("Parameter table not loaded")));
    }

    // A load that failed leaves an empty table: a save after it must not
    // blank the stored values.
    void tableNeverLoadedIsNeverSaved()
    {
        replaceRows({row(2, {{"PARAVALUE", "230.5"}})});
        m_table = ParamTable();
        QVERIFY(execSql(QStringLiteral("alter table paraset rename to paraset_away")));
        QVERIFY(!loadParamTable(m_table, QStringLiteral("001")));
        QVERIFY(execSql(QStringLiteral("alter table paraset_away rename to paraset")));
        QVERIFY(!saveParamValues(m_table, QStringLiteral("001")));
        QCOMPARE(stored(QStringLiteral("001"), 2, "paravalue").toString(), QStringLiteral("230.5"));
    }

    void fieldsByColumnNumber()
    {
        setField(m_table, 2, COL_RANGEU, QStringLiteral("12.5 V"));
        QCOMPARE(field(m_table, 2, COL_RANGEU), QVariant(12.5));
        setField(m_table, 2, COL_RANGEU, QStringLiteral(" "));
        QVERIFY(!m_table[2].rangeu);
        setField(m_table, 2, COL_WARNINGENABLED, QStringLiteral("1abc"));
        QCOMPARE(m_table[2].warningenabled, 1.0);
        setField(m_table, 2, COL_PARAVALUE, QStringLiteral("230.4"));
        QCOMPARE(numericValue(m_table, 2), 230.4);
        QCOMPARE(field(m_table, 2, COL_PARAVALUE), QVariant(QStringLiteral("230.4")));
        setField(m_table, 2, COL_UNIT, 5);
        QCOMPARE(m_table[2].unit, QStringLiteral("5"));

        // Outside the table nothing is written and nothing is read.
        setField(m_table, 30, COL_PARAVALUE, 1);
        setField(m_table, 2, PARAM_COLUMNS, 1);
        QVERIFY(!field(m_table, -1, COL_PARAVALUE).isValid());
        QVERIFY(!field(m_table, 2, PARAM_COLUMNS).isValid());
        QCOMPARE(numericValue(m_table, 30), 0.0);
    }

private:
    std::unique_ptr<test::TestHome> m_home;
    ParamTable m_table;
};

QTEST_GUILESS_MAIN(TestParamTable)
#include "tst_param_table.moc"
