// The connection held open between operations: what is stored is always read
// back from the file at the path, a clean stop leaves every commit in the
// file itself, and moving to another database lets go of the first.
#include "test_support.h"

#include "core/database.h"
#include "events/event_log.h"

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

QStringList storedEvents()
{
    QStringList names;
    const auto rows = rsSqlGet(QStringLiteral("select eventname from eventlog order by rowid"));
    if (rows) {
        for (int i = 0; i < rows->recordCount(); ++i)
            names << rows->text(i, QStringLiteral("eventname"));
    }
    return names;
}

// The events in a database file read on its own, as a copy without its
// write-ahead log would be read.
QStringList eventsInFileAlone(const QString &databaseFile)
{
    QTemporaryDir dir;
    const QString copy = QDir(dir.path()).filePath(QStringLiteral("alone.db"));
    if (!QFile::copy(databaseFile, copy))
        return {QStringLiteral("copy failed")};
    QStringList names;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("alone"));
        db.setDatabaseName(copy);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("select eventname from eventlog order by rowid"));
            while (q.next())
                names << q.value(0).toString();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("alone"));
    return names;
}

bool store(const QString &event)
{
    return logEvent(event, QStringLiteral("001"), QString(), true);
}

} // namespace

class TestDatabaseConnection : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserSettings(); }
    void fileReplacedBetweenOperationsIsReadAsTheNewFile();
    void cleanStopLeavesEveryCommitInTheFile();
    void anotherDatabaseLetsGoOfTheFirst();

private:
    MessageRecorder m_messages;
};

void TestDatabaseConnection::fileReplacedBetweenOperationsIsReadAsTheNewFile()
{
    TestHome home;
    QVERIFY(store(QStringLiteral("in the old file")));
    QCOMPARE(storedEvents(), QStringList{QStringLiteral("in the old file")});

    // Restored from the shipped copy while the program runs.
    home.copyDefault(QStringLiteral("vantoro.db"));
    QCOMPARE(storedEvents(), QStringList());
    QVERIFY(store(QStringLiteral("in the new file")));
    QCOMPARE(storedEvents(), QStringList{QStringLiteral("in the new file")});

    // Restored again and written before anything reads it: the write goes
    // to the new file, not through the connection to the old one.
    home.copyDefault(QStringLiteral("vantoro.db"));
    QVERIFY(store(QStringLiteral("written first")));
    QCOMPARE(storedEvents(), QStringList{QStringLiteral("written first")});
    const auto check = rsSqlGet(QStringLiteral("pragma integrity_check"));
    QVERIFY(check && check->recordCount() == 1);
    QCOMPARE(check->rows[0][0].toString(), QStringLiteral("ok"));
}

void TestDatabaseConnection::cleanStopLeavesEveryCommitInTheFile()
{
    TestHome home;
    QVERIFY(store(QStringLiteral("first")));
    QVERIFY(store(QStringLiteral("second")));
    checkpointDatabase();
    QCOMPARE(eventsInFileAlone(home.file(QStringLiteral("vantoro.db"))),
             (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
}

void TestDatabaseConnection::anotherDatabaseLetsGoOfTheFirst()
{
    auto first = std::make_unique<TestHome>();
    const QString firstFile = first->file(QStringLiteral("vantoro.db"));
    QVERIFY(store(QStringLiteral("kept in the first")));
    TestHome second;
    QVERIFY(store(QStringLiteral("kept in the second")));
    // Nothing holds the first any more: its log has been folded into it.
    QVERIFY(!QFile::exists(firstFile + QStringLiteral("-wal")));
    QCOMPARE(eventsInFileAlone(firstFile), QStringList{QStringLiteral("kept in the first")});
    QCOMPARE(storedEvents(), QStringList{QStringLiteral("kept in the second")});
}

QTEST_GUILESS_MAIN(TestDatabaseConnection)
#include "tst_database_connection.moc"
