// Start-up and the station's writes on a database that is empty, not a
// database at all, cut short, without tables, or read-only: the start-up
// notice or a clear message each time, and never a crash; a read-only one
// stops the start.
#include "fault_support.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/database.h"
#include "core/system_settings.h"
#include "plant/line.h"
#include "events/event_log.h"
#include "ui/main/startup.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The table of the station's one device, as the poll path keeps it.
ParamTable stationTable;
const QString stationDevice = QString::fromLatin1(PARAM_DEVICE_ID);

const QString notFoundNotice =
    QStringLiteral(" DataBase not found \r\n  （DATABASEFILE）\r\n\r\nPlease contact to the system manager。");
const QString systemInfoError = QStringLiteral("System Info Error！\r\nPlease contact system manager。");

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

bool runningAsRoot()
{
#ifdef Q_OS_LINUX
    return ::geteuid() == 0;
#else
    return false;
#endif
}

// The immutable flag keeps even root from writing; false where the file
// system or the process cannot set it.
bool setImmutable(const QString &path, bool on)
{
#ifndef Q_OS_LINUX
    Q_UNUSED(path);
    Q_UNUSED(on);
    return false;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0)
        return false;
    int flags = 0;
    bool ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return ok;
#endif
}

// Makes the database file read-only for this process, root included.
bool makeReadOnly(const QString &path)
{
    if (!QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther))
        return false;
    return !runningAsRoot() || setImmutable(path, true);
}

} // namespace

class TestDatabaseDamaged : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserSettings(); }
    void init();
    void cleanup();

    void emptyFileEndsWithTheNotice();
    void damagedFileStartsWithAMessage_data();
    void damagedFileStartsWithAMessage();
    void readOnlyFileReadsAndRefusesWritesWithAMessage();

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    bool m_immutable = false;
};

void TestDatabaseDamaged::init()
{
    quitRequested = false;
    clearRunningLog();
    resetEventThrottle();
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
}

void TestDatabaseDamaged::cleanup()
{
    quitRequested = true;
    if (m_immutable)
        setImmutable(m_home->file(QStringLiteral("vantoro.db")), false);
    m_immutable = false;
    m_messages.reset();
    m_home.reset();
    sysSettings = SystemSettings();
}

void TestDatabaseDamaged::emptyFileEndsWithTheNotice()
{
    QVERIFY(writeBytes(m_home->file(QStringLiteral("vantoro.db")), {}));
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Ended);
    QCOMPARE(m_messages->texts, QStringList{notFoundNotice});
    QVERIFY(startup.mainWindow() == nullptr);
}

void TestDatabaseDamaged::damagedFileStartsWithAMessage_data()
{
    QTest::addColumn<QByteArray>("content");
    QFile original(QStringLiteral(VANTORO_DEFAULTS_DIR "/vantoro.db"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray database = original.readAll();

    QTest::newRow("text file") << QByteArray("[Settings]\r\nLanguage=1\r\n").repeated(200);
    QByteArray noise(64 * 1024, '\0');
    for (int i = 0; i < noise.size(); ++i)
        noise[i] = char((i * 7919 + 13) % 251);
    QTest::newRow("binary noise") << noise;
    // The header promises pages the file no longer has.
    QTest::newRow("cut short") << database.left(database.size() / 3);
    QByteArray scrambled = database;
    for (int i = 4096; i < scrambled.size(); i += 97)
        scrambled[i] = char(~scrambled[i]);
    QTest::newRow("pages scrambled") << scrambled;
    QTest::newRow("no tables") << QByteArray();
}

void TestDatabaseDamaged::damagedFileStartsWithAMessage()
{
    QFETCH(QByteArray, content);
    const QString path = m_home->file(QStringLiteral("vantoro.db"));
    if (content.isEmpty()) {
        // A sound SQLite file that holds none of the station's tables.
        QFile::remove(path);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("blank"));
            db.setDatabaseName(path);
            QVERIFY(db.open());
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("create table other (x)")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("blank"));
    } else {
        QVERIFY(writeBytes(path, content));
    }

    Startup startup;
    const Startup::Result result = startup.run();
    QCOMPARE(result, Startup::Result::Running);
    QVERIFY(startup.mainWindow() != nullptr);
    QVERIFY2(m_messages->texts.contains(systemInfoError), qPrintable(m_messages->texts.join(QLatin1String(" | "))));

    // The station keeps going; each write says why it failed.
    QVERIFY(!logEvent(QStringLiteral("event on a damaged file"), QStringLiteral("001"), {}, true));
    QVERIFY2(runningLogText().contains(QStringLiteral("*Event not stored")), qPrintable(runningLogText()));
    QVERIFY(!saveParamValues(stationTable, stationDevice));
    QVERIFY2(runningLogText().contains(QStringLiteral("Parameter values not saved")) ||
             runningLogText().contains(QStringLiteral("Device Parameters Error!")),
             qPrintable(runningLogText()));
    m_messages->texts.clear();
    QVERIFY(!saveSystemSettings());
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY(m_messages->texts[0].startsWith(QStringLiteral("System info error！")));
}

void TestDatabaseDamaged::readOnlyFileReadsAndRefusesWritesWithAMessage()
{
    const QString path = m_home->file(QStringLiteral("vantoro.db"));
    if (!makeReadOnly(path))
        QSKIP("the file system cannot make a file read-only for root here");
    m_immutable = runningAsRoot();

    // A station that cannot store would watch and lose every event: it does
    // not start, and says why.
    Startup startup;
    QCOMPARE(startup.run(), Startup::Result::Ended);
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY2(m_messages->texts[0].contains(QStringLiteral("cannot be written")), qPrintable(m_messages->texts[0]));
    QVERIFY2(m_messages->texts[0].contains(QStringLiteral("readonly")), qPrintable(m_messages->texts[0]));
    m_messages->texts.clear();

    // Everything is still read as usual, and each write says why it failed.
    initGlobals();
    QVERIFY(loadSystemSettings());
    const auto devices = loadDevices();
    QVERIFY(devices && devices->size() == 1);
    QCOMPARE(devices->at(0).name, QStringLiteral("PV-INV"));
    QVERIFY(loadParamTable(stationTable, stationDevice));
    QVERIFY(!stationTable[2].paraname.isEmpty());
    QVERIFY(!logEvent(QStringLiteral("event on a read-only file"), QStringLiteral("001"), {}, true));
    QVERIFY2(runningLogText().contains(QStringLiteral("*Event not stored (attempt to write a readonly database")),
             qPrintable(runningLogText()));
    QVERIFY(!saveParamValues(stationTable, stationDevice));
    QVERIFY2(runningLogText().contains(QStringLiteral("Parameter values not saved: attempt to write a readonly database")),
             qPrintable(runningLogText()));
    QVERIFY(!saveSystemSettings());
    QCOMPARE(m_messages->texts.size(), 1);
    QVERIFY2(m_messages->texts[0].contains(QStringLiteral("readonly")), qPrintable(m_messages->texts[0]));
}

QTEST_MAIN(TestDatabaseDamaged)
#include "tst_database_damaged.moc"
