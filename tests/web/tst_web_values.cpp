// The pieces of the web answers where a slip shows only in rare data: label
// escaping, sample values, tidied numbers, and today's yield across midnight
// and a counter reset.
#include "acquisition/reply_decoding.h"
#include "web/metrics_text.h"
#include "web/station_snapshot.h"
#include "web/request_head.h"
#include "web/web_api.h"

#include <QTest>
#include <limits>

using namespace vantoro;

class TestWebValues : public QObject
{
    Q_OBJECT

private slots:
    void labelValuesAndSamples();
    void requestHeads_data();
    void requestHeads();
    void hostNames();
    void tidyValues_data();
    void tidyValues();
    void todayYieldFollowsTheDayAndCounterResets();
};

void TestWebValues::labelValuesAndSamples()
{
    QCOMPARE(escapeLabelValue(QStringLiteral("a\"b\\c\nd")), QByteArray("a\\\"b\\\\c\\nd"));
    QCOMPARE(escapeLabelValue(QStringLiteral("°C 电压")), QStringLiteral("°C 电压").toUtf8());
    QCOMPARE(sampleValue(std::numeric_limits<double>::quiet_NaN()), QByteArray("NaN"));
    QCOMPARE(sampleValue(-std::numeric_limits<double>::infinity()), QByteArray("-Inf"));
    QCOMPARE(sampleValue(1e21), QByteArray("1e+21"));
}

void TestWebValues::requestHeads_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("keepAlive");
    QTest::addColumn<bool>("body");
    QTest::addColumn<bool>("badLength");
    const QByteArray get11 = "GET / HTTP/1.1\r\nHost: localhost:8080\r\n";
    QTest::newRow("1.1 stays open") << get11 + "\r\n" << true << false << false;
    QTest::newRow("close among tokens") << get11 + "Connection: Upgrade, CLOSE\r\n\r\n" << false << false << false;
    QTest::newRow("1.0 closes") << QByteArray("GET / HTTP/1.0\n\n") << false << false << false;
    QTest::newRow("1.0 asks to stay") << QByteArray("\r\nGET / HTTP/1.0\r\nconnection: Keep-Alive\r\n\r\n") << true
                                      << false << false;
    QTest::newRow("no version") << QByteArray("GET /\r\n\r\n") << false << false << false;
    QTest::newRow("empty body") << get11 + "Content-Length: 0\r\ncontent-length: 000\r\n\r\n" << true << false
                                << false;
    QTest::newRow("body") << get11 + "Content-Length:  17 \r\n\r\n" << true << true << false;
    QTest::newRow("chunked") << get11 + "Transfer-Encoding: chunked\r\n\r\n" << true << true << false;
    QTest::newRow("two lengths") << get11 + "Content-Length: 0\r\nContent-Length: 5\r\n\r\n" << true << true << true;
    QTest::newRow("length no number") << get11 + "Content-Length: -1\r\n\r\n" << true << true << true;
}

void TestWebValues::requestHeads()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, keepAlive);
    QFETCH(bool, body);
    QFETCH(bool, badLength);
    const RequestHead parsed = parseRequestHead(head);
    QCOMPARE(parsed.keepAlive, keepAlive);
    QCOMPARE(parsed.announcesBody || parsed.badLength, body);
    QCOMPARE(parsed.badLength, badLength);
}

void TestWebValues::hostNames()
{
    for (const char *host : {"localhost:8080", "127.0.0.1:8080", "[::1]:8080", " LocalHost:8080"})
        QVERIFY2(hostNamesThisMachine(host, 8080), host);
    for (const char *host : {"", "localhost", "localhost:80800", "localhost.example:8080", "127.0.0.2:8080",
                             "evil.example:8080", "localhost:8080@evil"})
        QVERIFY2(!hostNamesThisMachine(host, 8080), host);
    QVERIFY(hostNamesThisMachine("localhost", 80));
}

void TestWebValues::tidyValues_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("scaled word") << 2301 * 0.1 << QByteArray("230.1");
    QTest::newRow("single temperature") << double(float(256) * 0.1f) << QByteArray("25.6");
    QTest::newRow("negative single") << double(float(-55) * 0.1f) << QByteArray("-5.5");
    QTest::newRow("energy") << 123456 * 0.1 << QByteArray("12345.6");
    QTest::newRow("large counter") << 4294967295 * 0.1 << QByteArray("429496729.5");
    QTest::newRow("whole") << 257.0 << QByteArray("257");
}

void TestWebValues::tidyValues()
{
    QFETCH(double, value);
    QFETCH(QByteArray, shown);
    QCOMPARE(sampleValue(tidyValue(value)), shown);
}

void TestWebValues::todayYieldFollowsTheDayAndCounterResets()
{
    const auto reply = [](const QDateTime &time, std::optional<double> counter) {
        CycleReport r;
        r.time = time;
        r.linkUp = r.polling = r.replied = counter.has_value();
        r.rating = QStringLiteral("3K");
        if (counter) {
            ParameterReading p;
            p.id = ROW_ENERGY;
            p.code = QStringLiteral("EKWH");
            p.numeric = true;
            p.value = *counter;
            r.parameters << p;
        }
        return r;
    };
    const QDate day(2026, 6, 1);
    TodayYield yield;
    QVERIFY(!yield.kwh(day));
    yield.add(reply(QDateTime(day, QTime(6, 0)), 100.0));
    yield.add(reply(QDateTime(day, QTime(6, 1)), std::nullopt)); // link down: no reading
    yield.add(reply(QDateTime(day, QTime(12, 0)), 104.5));
    QCOMPARE(*yield.kwh(day), 4.5);
    // A counter that goes back (a device reset) is not counted; what it
    // counts after the reset is.
    yield.add(reply(QDateTime(day, QTime(13, 0)), 2.0));
    yield.add(reply(QDateTime(day, QTime(14, 0)), 3.0));
    QCOMPARE(*yield.kwh(day), 5.5);
    // A rise the 3 kW rating cannot make in one second is not reported.
    yield.add(reply(QDateTime(day, QTime(14, 0, 1)), 3.5));
    QCOMPARE(*yield.kwh(day), 5.5);
    // Yesterday's figure is no answer for today.
    QVERIFY(!yield.kwh(day.addDays(1)));
    yield.add(reply(QDateTime(day.addDays(1), QTime(0, 5)), 3.5));
    QCOMPARE(*yield.kwh(day.addDays(1)), 0.0);
}

QTEST_GUILESS_MAIN(TestWebValues)
#include "tst_web_values.moc"
