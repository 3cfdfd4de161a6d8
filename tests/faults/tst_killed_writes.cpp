// The process killed (SIGKILL) in the middle of its writes, many times at
// random moments: the database opens afterwards and holds either the old or
// the new rows, all of them.
#include "fault_support.h"
#include "test_support.h"

#include "acquisition/param_table.h"
#include "core/database.h"
#include "core/system_settings.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The table of the station's one device, as the poll path keeps it.
ParamTable stationTable;
const QString stationDevice = QString::fromLatin1(PARAM_DEVICE_ID);

constexpr int KILLS = 20;
constexpr int MAX_DELAY_MS = 120;

// The one value every row holds, or a null text when the rows differ.
QString commonValue(const QStringList &values)
{
    if (values.size() != PARAM_SLOTS)
        return {};
    for (const QString &v : values)
        if (v != values.first())
            return {};
    return values.first();
}

} // namespace

class TestKilledWrites : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void saveParamValuesKilledAtRandomMoments();
    void factoryRestoreKilledAtRandomMoments();

private:
    // Starts the helper, kills it a random time after its first write and
    // checks what the file holds.
    std::unique_ptr<QProcess> runAndKill(const QStringList &arguments);

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<MessageRecorder> m_messages;
    QRandomGenerator m_random;
};

void TestKilledWrites::initTestCase()
{
    isolateUserSettings();
    const quint32 seed = QRandomGenerator::global()->generate();
    qInfo("kill moments from seed %u", seed);
    m_random.seed(seed);
}

void TestKilledWrites::init()
{
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
}

void TestKilledWrites::cleanup()
{
    m_messages.reset();
    m_home.reset();
}

std::unique_ptr<QProcess> TestKilledWrites::runAndKill(const QStringList &arguments)
{
    auto helper = startHelper(arguments, "READY");
    if (!helper)
        return nullptr;
    QTest::qSleep(int(m_random.bounded(MAX_DELAY_MS)));
    killHelper(*helper);
    return helper;
}

void TestKilledWrites::saveParamValuesKilledAtRandomMoments()
{
    int lastGeneration = 0;
    for (int kill = 0; kill < KILLS; ++kill) {
        auto helper = runAndKill({QStringLiteral("save-params")});
        QVERIFY(helper);
        QCOMPARE(helper->exitStatus(), QProcess::CrashExit);

        QCOMPARE(integrityCheck(), QStringLiteral("ok"));
        const QStringList values = storedParamValues();
        const QString value = commonValue(values);
        QVERIFY2(!value.isNull(), qPrintable(values.join(QLatin1Char(','))));
        const QRegularExpressionMatch generation = QRegularExpression(QStringLiteral("^gen(\\d+)$")).match(value);
        QVERIFY2(generation.hasMatch(), qPrintable(value));
        // Each run starts again at generation 1 and stores at least that.
        QVERIFY(generation.captured(1).toInt() >= 1);
        lastGeneration = generation.captured(1).toInt();
        QVERIFY(loadParamTable(stationTable, stationDevice));
        QCOMPARE(stationTable[2].text(), value);
    }
    qInfo("last run stored %d generations before its kill", lastGeneration);
}

void TestKilledWrites::factoryRestoreKilledAtRandomMoments()
{
    // Two factory tables that tell apart from each other in every row.
    QVERIFY(execSql(QStringLiteral("update paraset_3K set paravalue='rating 3K'")));
    QVERIFY(execSql(QStringLiteral("update paraset_5K set paravalue='rating 5K'")));
    for (int kill = 0; kill < KILLS; ++kill) {
        auto helper = runAndKill({QStringLiteral("restore-factory"), QStringLiteral("3K"), QStringLiteral("5K")});
        QVERIFY(helper);
        QCOMPARE(helper->exitStatus(), QProcess::CrashExit);

        QCOMPARE(integrityCheck(), QStringLiteral("ok"));
        const QStringList values = storedParamValues();
        const QString value = commonValue(values);
        QVERIFY2(value == QLatin1String("rating 3K") || value == QLatin1String("rating 5K"),
                 qPrintable(values.join(QLatin1Char(','))));
        QVERIFY(loadParamTable(stationTable, stationDevice));
    }
}

QTEST_GUILESS_MAIN(TestKilledWrites)
#include "tst_killed_writes.moc"
