// The web server against the simulator: every endpoint read with a real HTTP
// client, the metrics checked by promtool, the page rendered by Chromium, and
// the refusals (methods, paths, parameters, sizes, connection count).
#include "web_fixture.h"

#include "plant_reports.h"

#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/database.h"
#include "events/event_log.h"
#include "history/daily_yield.h"
#include "history/history_store.h"
#include "web/connection_guard.h"
#include "web/metrics_text.h"
#include "web/web_http_server.h"
#include "web/web_service.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace vantoro;
using namespace vantoro::test;

namespace {

QJsonObject jsonOf(const HttpAnswer &answer)
{
    return QJsonDocument::fromJson(answer.body).object();
}

QJsonObject parameter(const QJsonObject &status, const QString &code)
{
    for (const QJsonValue &p : status.value(QStringLiteral("parameters")).toArray()) {
        if (p[QStringLiteral("code")].toString() == code)
            return p.toObject();
    }
    return {};
}

// Raw bytes to the server; what came back before it closed or went quiet
// (or, with `untilClosed`, only once it closed).
QByteArray rawExchange(quint16 port, const QByteArray &request, int waitMs = 3000, bool untilClosed = false)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired() && socket.state() != QAbstractSocket::UnconnectedState
           && (untilClosed || !answer.contains("\r\n\r\n"))) {
        socket.waitForReadyRead(50);
        answer += socket.readAll();
        QCoreApplication::processEvents();
    }
    answer += socket.readAll();
    return answer;
}

// The Host header a client of the loopback station sends.
QByteArray hostLine(quint16 port)
{
    return "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
}

// Resident memory of this process, the station's, in kB.
qint64 residentKb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4 : 0;
}

// A client that never reads: a small receive window, so what the server
// sends stays with the server instead of in the kernel's buffers.
std::unique_ptr<QTcpSocket> nonReadingClient(quint16 port)
{
    auto socket = std::make_unique<QTcpSocket>();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int window = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || !socket->setSocketDescriptor(fd)) {
        ::close(fd);
        return socket;
    }
    socket->setReadBufferSize(1024);
    return socket;
}

// Runs the event loop until the socket is closed or `ms` have passed.
bool closedWithin(QTcpSocket &socket, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired() && socket.state() != QAbstractSocket::UnconnectedState)
        QTest::qWait(20);
    return socket.state() == QAbstractSocket::UnconnectedState;
}

// Headless Chromium on `url` with `args` besides the quiet ones; what it
// printed, nullopt when it could not run.
std::optional<QByteArray> runChromium(const QString &chromium, const QStringList &args, const QString &url)
{
    QTemporaryDir profile;
    return runProgram(chromium,
                      QStringList{"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                                  "--disable-component-update", "--disable-sync", "--no-first-run",
                                  "--hide-scrollbars", "--user-data-dir=" + profile.path(),
                                  "--virtual-time-budget=3000"}
                          + args + QStringList{url},
                      60000);
}

} // namespace

class TestWebStation : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void statusShowsWhatTheSimulatorSent();
    void metricsShowWhatTheSimulatorSentAndPassPromtool();
    void eventsByWholeDaysNewestFirst();
    void historyAndYieldFromTheRecordedTables();
    void historyIsMadeBesideTheStationInRequestOrder();
    void badParametersAreNamed_data();
    void badParametersAreNamed();
    void onlyGetAndHeadOnKnownPaths();
    void oversizedRequestsAndTooManyConnectionsAreRefused();
    void slowClientsAreClosed();
    void hostileClientsDoNotSwellMemory();
    void headCloseAndHostRules();
    void pollingOffServesNoLiveValues();
    void pageRendersInChromium();
    void linkDownLeavesParameterSeriesOut();
    void plantOfThreeServedPerDevice();
    void settingsApplyOnSaveWithoutRestart();

private:
    std::unique_ptr<WebStation> m_station;
};

void TestWebStation::initTestCase()
{
    isolateUserSettings();
    m_station = std::make_unique<WebStation>();
    QString error;
    // Timings short enough for the slow clients to be seen out in seconds.
    ConnectionLimits limits;
    limits.headTimeoutMs = 1000;
    limits.idleTimeoutMs = 3000;
    limits.budgetMs = 20000;
    QVERIFY2(m_station->start(&error, limits), qPrintable(error));
    upgradeSchema(); // the history tables, as at the station's start
    m_station->poll();
    m_station->poll();
}

void TestWebStation::cleanupTestCase()
{
    m_station.reset();
}

void TestWebStation::statusShowsWhatTheSimulatorSent()
{
    const HttpAnswer answer = httpRequest(m_station->url("/api/v1/status"));
    QCOMPARE(answer.status, 200);
    QVERIFY(answer.header("Content-Type").startsWith("application/json"));
    const QJsonObject s = jsonOf(answer);
    QCOMPARE(s["device"]["id"].toString(), QStringLiteral("001"));
    QCOMPARE(s["device"]["name"].toString(), QStringLiteral("INV"));
    QCOMPARE(s["device"]["protocol"].toInt(), 2);
    QCOMPARE(s["device"]["address"].toInt(), 1);
    QCOMPARE(s["link"]["up"].toBool(), true);
    QCOMPARE(s["link"]["stale"].toBool(), false);
    const QDateTime lastReply = QDateTime::fromString(s["link"]["lastReply"].toString(), Qt::ISODate);
    QVERIFY(lastReply.isValid());
    QVERIFY(qAbs(lastReply.secsTo(QDateTime::currentDateTime())) < 10);
    QVERIFY(s["link"]["ageSeconds"].toDouble() < 10);
    QCOMPARE(s["polling"].toBool(), true);

    const QJsonObject vac = parameter(s, QStringLiteral("VAC"));
    QCOMPARE(vac["value"].toDouble(), 230.1);
    QCOMPARE(vac["text"].toString(), QStringLiteral("230.1"));
    QCOMPARE(vac["unit"].toString(), QStringLiteral("V"));
    QCOMPARE(vac["low"].toDouble(), 198.0);
    QCOMPARE(vac["high"].toDouble(), 253.0);
    QCOMPARE(vac["inLimits"].toBool(), true);
    QCOMPARE(vac["watched"].toBool(), true);
    QVERIFY(qAbs(parameter(s, QStringLiteral("TMOD"))["value"].toDouble() - (-5.5)) < 1e-4);
    QCOMPARE(parameter(s, QStringLiteral("EKWH"))["value"].toDouble(), 12345.6);
    // Status word 0x0101: bit 0 (RUN) and bit 8 (UFRQ, watched: a fault).
    QCOMPARE(parameter(s, QStringLiteral("RUN"))["bit"].toInt(), 1);
    QCOMPARE(parameter(s, QStringLiteral("DCUV"))["bit"].toInt(), 0);
    QCOMPARE(parameter(s, QStringLiteral("UFRQ"))["inLimits"].toBool(), false);
    QCOMPARE(parameter(s, QStringLiteral("TIME"))["value"].type(), QJsonValue::Null);
    QCOMPARE(s["alarm"].toBool(), true);
    QCOMPARE(s["asleep"].toBool(), false);
    // 2306 W out of 2536 W in: the device's own DC voltage, not a computed one.
    QCOMPARE(parameter(s, QStringLiteral("VDC"))["calibrated"].toBool(), false);
    QCOMPARE(parameter(s, QStringLiteral("VDC"))["raw"].type(), QJsonValue::Null);
    QCOMPARE(s["faults"].toArray().size(), 1);
    QVERIFY(s["events"].isArray());
}

void TestWebStation::metricsShowWhatTheSimulatorSentAndPassPromtool()
{
    const HttpAnswer answer = httpRequest(m_station->url("/metrics"));
    QCOMPARE(answer.status, 200);
    QCOMPARE(answer.header("Content-Type"), QByteArray("text/plain; version=0.0.4; charset=utf-8"));
    const QByteArray &m = answer.body;
    for (const char *line : {"vantoro_parameter_value{device=\"001\",code=\"VAC\",unit=\"V\"} 230.1\n",
                             "vantoro_parameter_value{device=\"001\",code=\"TMOD\",unit=\"°C\"} -5.5",
                             "vantoro_parameter_in_limits{device=\"001\",code=\"VAC\"} 1\n",
                             "vantoro_parameter_in_limits{device=\"001\",code=\"UFRQ\"} 0\n",
                             "vantoro_status_bit{device=\"001\",code=\"RUN\"} 1\n",
                             "vantoro_status_bit{device=\"001\",code=\"DCUV\"} 0\n",
                             "vantoro_energy_kwh_total{device=\"001\"} 12345.6\n",
                             "vantoro_link_up{device=\"001\"} 1\n", "vantoro_polling{device=\"001\"} 1\n",
                             "vantoro_alarm_active{device=\"001\"} 1\n",
                             "vantoro_alarm_acknowledged{device=\"001\"} 0\n",
                             "vantoro_device_asleep{device=\"001\"} 0\n",
                             "vantoro_polls_total{device=\"001\",result=\"ok\"} 2\n",
                             "vantoro_polls_total{device=\"001\",result=\"send_error\"} 0\n",
                             "vantoro_build_info{version=\"" VANTORO_VERSION "\"} 1\n",
                             "# TYPE vantoro_energy_kwh_total counter\n"})
        QVERIFY2(m.contains(line), (QByteArray(line) + "\nin:\n" + m).constData());
    QVERIFY(m.contains("vantoro_last_reply_timestamp_seconds{device=\"001\"} 1"));
    // Unwatched parameters have no in-limits series; the reply time is no number.
    QVERIFY(!m.contains("vantoro_parameter_in_limits{device=\"001\",code=\"EKWH\"}"));
    QVERIFY(!m.contains("code=\"TIME\""));
    // The operator's acknowledgement at the station, for the fleet's
    // "unacknowledged" rule.
    stationBus().publishAcknowledged(QStringLiteral("001"), true);
    const QByteArray acknowledged = httpRequest(m_station->url("/metrics")).body;
    stationBus().publishAcknowledged(QStringLiteral("001"), false);
    QVERIFY2(acknowledged.contains("vantoro_alarm_acknowledged{device=\"001\"} 1\n"), acknowledged.constData());

    const QString promtool = installedProgram(QStringLiteral("promtool"));
    if (promtool.isEmpty())
        QSKIP("promtool is not installed (Debian package prometheus)");
    int exitCode = -1;
    const auto out = runProgram(promtool, {QStringLiteral("check"), QStringLiteral("metrics")}, 20000, &exitCode, m);
    QVERIFY(out);
    QVERIFY2(exitCode == 0 && out->trimmed().isEmpty(), out->constData());
}

void TestWebStation::eventsByWholeDaysNewestFirst()
{
    QVERIFY(logEvent(QStringLiteral("web test first"), QStringLiteral("001"), {}, true));
    QVERIFY(logEvent(QStringLiteral("web test second"), QStringLiteral("001"), {}, true));
    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const HttpAnswer answer = httpRequest(m_station->url("/api/v1/events?from=" + today + "&to=" + today));
    QCOMPARE(answer.status, 200);
    const QJsonObject e = jsonOf(answer);
    const QJsonArray rows = e["events"].toArray();
    QVERIFY(rows.size() >= 2);
    QCOMPARE(rows[0]["text"].toString(), QStringLiteral("web test second"));
    QCOMPARE(rows[1]["text"].toString(), QStringLiteral("web test first"));
    // Local time with its offset, as every time the server gives.
    static const QRegularExpression withOffset(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d$"));
    QVERIFY(rows[0]["time"].toString().startsWith(today + "T"));
    QVERIFY2(withOffset.match(rows[0]["time"].toString()).hasMatch(), qPrintable(rows[0]["time"].toString()));
    QCOMPARE(QDateTime::fromString(rows[0]["time"].toString(), Qt::ISODate).date(), QDate::currentDate());
    QCOMPARE(e["truncated"].toBool(), false);

    const QJsonObject cut = jsonOf(httpRequest(m_station->url("/api/v1/events?limit=1")));
    QCOMPARE(cut["events"].toArray().size(), 1);
    QCOMPARE(cut["truncated"].toBool(), true);
    QCOMPARE(cut["from"].toString(), today);

    const QJsonObject empty = jsonOf(httpRequest(m_station->url("/api/v1/events?from=2001-01-01&to=2001-01-02")));
    QCOMPARE(empty["events"].toArray().size(), 0);
    QCOMPARE(empty["truncated"].toBool(), false);

    // The page's list follows stored events at once.
    const QJsonObject status = jsonOf(httpRequest(m_station->url("/api/v1/status")));
    QCOMPARE(status["events"][0]["text"].toString(), QStringLiteral("web test second"));
    QVERIFY(withOffset.match(status["events"][0]["time"].toString()).hasMatch());
    QVERIFY(withOffset.match(status["time"].toString()).hasMatch());
}

void TestWebStation::historyAndYieldFromTheRecordedTables()
{
    const QDateTime ten(QDate(2025, 3, 10), QTime(10, 0));
    const QDate today = QDate::currentDate();
    auto yieldRow = [](const QDate &day, double kwh) {
        DayYield y;
        y.deviceId = QStringLiteral("001");
        y.day = day;
        y.energyKwh = kwh;
        return y;
    };
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) {
        const QList<HistorySample> samples{{ten, {{1, 230.1}, {2, 10.02}, {3, 300.0}}},
                                           {ten.addSecs(60), {{1, 231.0}}},
                                           {ten.addSecs(120), {{1, 229.5}, {2, 9.5}}},
                                           {ten.addSecs(3), {{1, 100.0}, {3, 700.0}}, QStringLiteral("002")}};
        for (const HistorySample &sample : samples) {
            if (!insertSample(db, sample, e))
                return false;
        }
        DayYield marked = yieldRow(QDate(2025, 3, 11), 4.25);
        marked.flagged = YIELD_FLAG_TOO_FAST;
        DayYield other = yieldRow(QDate(2025, 3, 10), 2.0);
        other.deviceId = QStringLiteral("002");
        for (const DayYield &y : {yieldRow(QDate(2025, 3, 10), 5.5), marked, yieldRow(QDate(2025, 4, 1), 1.0), other}) {
            if (!saveDayYield(db, y, e))
                return false;
        }
        return storeColumns(db, {{1, QStringLiteral("VAC"), QStringLiteral("Voltage"), QStringLiteral("V")},
                                 {2, QStringLiteral("IAC"), QStringLiteral("Current"), QStringLiteral("A")},
                                 {3, QStringLiteral("PAC"), QStringLiteral("Power"), QStringLiteral("W")}}, e);
    }));

    // Codes in the asked order, case-insensitive; a missing value is null.
    const QJsonObject h = jsonOf(httpRequest(m_station->url("/api/v1/history?from=2025-03-10&to=2025-03-10&codes=iac,VAC")));
    QCOMPARE(h["columns"][0]["code"].toString(), QStringLiteral("IAC"));
    QCOMPARE(h["maxPoints"].toInt(), 2000);
    QCOMPARE(h["reduced"].toBool(), false);
    const QJsonArray points = h["points"].toArray();
    QCOMPARE(points.size(), 3);
    QVERIFY(points[0]["time"].toString().startsWith(QStringLiteral("2025-03-10T10:00:00")));
    QCOMPARE(points[0]["values"].toArray(), (QJsonArray{10.02, 230.1}));
    QCOMPARE(points[1]["values"][0].type(), QJsonValue::Null);
    // Times: "to" is the first second left out.
    const QJsonObject minute = jsonOf(httpRequest(m_station->url("/api/v1/history?from=2025-03-10T10:01&to=2025-03-10T10:02")));
    QCOMPARE(minute["points"].toArray().size(), 1);
    QCOMPARE(minute["columns"].toArray().size(), 3);

    const HttpAnswer csv = httpRequest(m_station->url("/api/v1/history?from=2025-03-10&codes=VAC&format=csv"));
    QCOMPARE(csv.status, 200);
    QCOMPARE(csv.header("Content-Type"), QByteArray("text/csv; charset=utf-8"));
    const QList<QByteArray> lines = csv.body.split('\n');
    QCOMPARE(lines.size(), 5); // header, three samples, the last line end
    QVERIFY(lines[0].contains(",Voltage (V),")); // and no byte-order mark before it
    QVERIFY(!lines[0].startsWith("\xEF"));
    QVERIFY2(QRegularExpression(QStringLiteral("^2025-03-10T10:02:00[+-]\\d\\d:\\d\\d,229.5,001\r$"))
                 .match(QString::fromUtf8(lines[3]))
                 .hasMatch(),
             lines[3].constData());

    const QJsonObject march = jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025&month=3")));
    QCOMPARE(march["days"].toArray().size(), 2);
    QCOMPARE(march["days"][1]["energyKwh"].toDouble(), 4.25);
    // A marked day says why, and so does its month.
    QCOMPARE(march["days"][0]["flagReasons"].toArray(), QJsonArray());
    QCOMPARE(march["days"][1]["flagged"].toBool(), true);
    QCOMPARE(march["days"][1]["flagReasons"].toArray(), QJsonArray{QStringLiteral("counterTooFast")});
    QCOMPARE(march["totalKwh"].toDouble(), 9.75);
    const QJsonObject year = jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025")));
    QCOMPARE(year["months"].toArray().size(), 12);
    QCOMPARE(year["months"][2]["energyKwh"].toDouble(), 9.75);
    QCOMPARE(year["months"][2]["flagReasons"].toArray(), QJsonArray{QStringLiteral("counterTooFast")});
    QCOMPARE(year["totalKwh"].toDouble(), 10.75);

    // Another device and the plant; without `device` the answers are 001's.
    const QList<DeviceInfo> devices = stationBus().devices();
    QList<DeviceInfo> line = devices;
    line << DeviceInfo{QStringLiteral("002"), QStringLiteral("East"), 2, 2, QStringLiteral("3K"), true};
    stationBus().publishDevices(line);
    QCOMPARE(h["device"].toString(), QStringLiteral("001"));
    const QJsonObject east = jsonOf(httpRequest(m_station->url("/api/v1/history?from=2025-03-10&to=2025-03-10&codes=VAC&device=002")));
    QCOMPARE(east["device"].toString(), QStringLiteral("002"));
    QCOMPARE(east["points"].toArray().size(), 1);
    QCOMPARE(east["points"][0]["values"].toArray(), QJsonArray{100.0});
    const QJsonObject plant = jsonOf(httpRequest(m_station->url("/api/v1/history?from=2025-03-10&to=2025-03-10&device=plant")));
    QCOMPARE(plant["columns"].toArray().size(), 1);
    QCOMPARE(plant["columns"][0]["code"].toString(), QStringLiteral("PAC"));
    QCOMPARE(plant["points"][0]["values"].toArray(), QJsonArray{1000.0});
    // The plant has no voltage to sum.
    QCOMPARE(httpRequest(m_station->url("/api/v1/history?codes=VAC&device=plant")).status, 400);
    const HttpAnswer plantCsv = httpRequest(m_station->url("/api/v1/history?from=2025-03-10&device=plant&format=csv"));
    const QString plantName = langText(QStringLiteral("History"), QStringLiteral("optPlant"));
    QVERIFY2(plantCsv.body.contains(",1000," + plantName.toUtf8() + "\r\n"), plantCsv.body.constData());
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025&month=3&device=002")))["totalKwh"].toDouble(), 2.0);
    const QJsonObject plantMarch = jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025&month=3&device=plant")));
    QCOMPARE(plantMarch["device"].toString(), QStringLiteral("plant"));
    QCOMPARE(plantMarch["days"][0]["energyKwh"].toDouble(), 7.5);
    QCOMPARE(plantMarch["totalKwh"].toDouble(), 11.75);
    for (const char *path : {"/api/v1/history?device=007", "/api/v1/yield?device=7", "/api/v1/history?device="}) {
        const HttpAnswer unknown = httpRequest(m_station->url(path));
        QCOMPARE(unknown.status, 404);
        QCOMPARE(jsonOf(unknown)["parameter"].toString(), QStringLiteral("device"));
        QVERIFY(jsonOf(unknown)["error"].toString().contains(QStringLiteral("002")));
    }
    stationBus().publishDevices(devices);

    // Today's yield: the counter's rise until the recorder has a row for today.
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/status")))["todayYieldKwh"].toDouble(), 0.0);
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) { return saveDayYield(db, yieldRow(today, 7.5), e); }));
    m_station->poll();
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/status")))["todayYieldKwh"].toDouble(), 7.5);
}

namespace {

// The answers on one connection, split by their Content-Length; stops at
// the first that is not whole within the time.
QList<QByteArray> readAnswers(QTcpSocket &socket, int count, int waitMs)
{
    QList<QByteArray> answers;
    QByteArray data;
    QDeadlineTimer deadline(waitMs);
    while (answers.size() < count && !deadline.hasExpired()) {
        const qsizetype headEnd = data.indexOf("\r\n\r\n");
        const qsizetype at = data.toLower().indexOf("content-length:");
        if (headEnd >= 0 && at >= 0 && at < headEnd) {
            const qsizetype length = data.mid(at + 15, data.indexOf("\r\n", at) - at - 15).trimmed().toLongLong();
            if (data.size() >= headEnd + 4 + length) {
                answers << data.left(headEnd + 4 + length);
                data.remove(0, headEnd + 4 + length);
                continue;
            }
        }
        if (socket.waitForReadyRead(100))
            data += socket.readAll();
    }
    return answers;
}

} // namespace

void TestWebStation::historyIsMadeBesideTheStationInRequestOrder()
{
    // 60,000 one-second samples: the largest CSV of this test takes the
    // worker a good while.
    const QDateTime start(QDate(2025, 5, 1), QTime(0, 0));
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) {
        SampleInserter inserter(db);
        for (int i = 0; i < 60000; ++i) {
            if (!inserter.insert({start.addSecs(i), {{1, 230.0 + i % 7}, {2, 10.0 + i % 3}}}, e))
                return false;
        }
        return storeColumns(db, {{1, QStringLiteral("VAC"), QStringLiteral("Voltage"), QStringLiteral("V")},
                                 {2, QStringLiteral("IAC"), QStringLiteral("Current"), QStringLiteral("A")},
                                 {3, QStringLiteral("PAC"), QStringLiteral("Power"), QStringLiteral("W")}}, e);
    }));
    const QByteArray host = "Host: 127.0.0.1:" + QByteArray::number(m_station->port()) + "\r\n\r\n";
    std::atomic<bool> sent{false};
    QList<QByteArray> answers;
    QElapsedTimer clock;
    clock.start();
    std::atomic<qint64> csvDoneMs{-1};
    // A client on a thread of its own pipelines a long CSV and a status
    // request on one connection.
    std::unique_ptr<QThread> client(QThread::create([&] {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_station->port());
        if (!socket.waitForConnected(3000))
            return;
        socket.write("GET /api/v1/history?from=2025-05-01&to=2025-05-01&format=csv HTTP/1.1\r\n" + host
                     + "GET /api/v1/status HTTP/1.1\r\n" + host);
        socket.waitForBytesWritten(3000);
        sent = true;
        answers = readAnswers(socket, 2, 20000);
        csvDoneMs = clock.elapsed();
    }));
    client->start();
    while (!sent)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QTest::qWait(20);
    // The station's thread answers another client while the CSV is made.
    QCOMPARE(httpRequest(m_station->url("/api/v1/status")).status, 200);
    const qint64 statusMs = clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(client->isFinished(), 20000);
    QVERIFY2(statusMs < csvDoneMs, qPrintable(QStringLiteral("status %1 ms, CSV %2 ms: %3")
                                                  .arg(statusMs)
                                                  .arg(csvDoneMs)
                                                  .arg(QString::fromUtf8(answers.value(0).left(80)))));
    // In the order asked, the CSV whole.
    QCOMPARE(answers.size(), 2);
    QVERIFY(answers[0].contains("Content-Type: text/csv"));
    QCOMPARE(answers[0].mid(answers[0].indexOf("\r\n\r\n") + 4).count("\r\n"), qsizetype(60000 + 1));
    QVERIFY(answers[1].contains("\"device\""));
    // Reduced: a bucket's minimum, then its maximum, both with its mean.
    const QJsonObject reduced = jsonOf(httpRequest(m_station->url("/api/v1/history?from=2025-05-01&to=2025-05-01&codes=VAC")));
    QVERIFY(reduced["reduced"].toBool());
    const QJsonArray buckets = reduced["points"].toArray();
    QVERIFY(buckets.size() > 100 && buckets.size() <= 2000);
    const double low = buckets[0]["values"][0].toDouble();
    const double high = buckets[1]["values"][0].toDouble();
    const double mean = buckets[0]["means"][0].toDouble();
    QVERIFY2(low < mean && mean < high, qPrintable(QStringLiteral("%1 %2 %3").arg(low).arg(mean).arg(high)));
    QCOMPARE(buckets[1]["means"][0].toDouble(), mean);
    // HEAD of a history answer: its headers, no body.
    const HttpAnswer head = httpRequest(m_station->url("/api/v1/history?from=2025-05-01&to=2025-05-01"), "HEAD");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());
    QVERIFY(head.header("Content-Length").toLongLong() > 1000);
}

void TestWebStation::badParametersAreNamed_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("parameter");
    QTest::newRow("not a date") << "/api/v1/events?from=yesterday" << "from";
    QTest::newRow("no such day") << "/api/v1/events?from=2026-02-30" << "from";
    QTest::newRow("reversed") << "/api/v1/events?from=2026-03-02&to=2026-03-01" << "from";
    QTest::newRow("short year") << "/api/v1/events?to=26-03-01" << "to";
    QTest::newRow("limit zero") << "/api/v1/events?limit=0" << "limit";
    QTest::newRow("unknown") << "/api/v1/events?form=2026-03-01" << "form";
    QTest::newRow("twice") << "/api/v1/events?to=2026-03-01&to=2026-03-02" << "to";
    QTest::newRow("bad escape") << "/api/v1/events?from=%ZZ" << "from";
    QTest::newRow("status takes none") << "/api/v1/status?x=1" << "x";
    QTest::newRow("to alone, before today") << "/api/v1/events?to=2001-01-01" << "to";
    QTest::newRow("history to alone") << "/api/v1/history?to=2001-01-01T10:00" << "to";
    QTest::newRow("history reversed") << "/api/v1/history?from=2026-03-01T12:00&to=2026-03-01T11:00" << "from";
    QTest::newRow("history no such hour") << "/api/v1/history?to=2026-03-01T25:00" << "to";
    QTest::newRow("history too long") << "/api/v1/history?from=2024-01-01&to=2026-01-01" << "to";
    QTest::newRow("history unknown code") << "/api/v1/history?codes=VAC,NOPE" << "codes";
    QTest::newRow("history format") << "/api/v1/history?format=xml" << "format";
    QTest::newRow("yield month") << "/api/v1/yield?year=2026&month=13" << "month";
}

void TestWebStation::badParametersAreNamed()
{
    QFETCH(QString, path);
    QFETCH(QString, parameter);
    const HttpAnswer answer = httpRequest(m_station->url(path));
    QCOMPARE(answer.status, 400);
    const QJsonObject error = jsonOf(answer);
    QCOMPARE(error["parameter"].toString(), parameter);
    QVERIFY(!error["error"].toString().isEmpty());
    QVERIFY2(!error["error"].toString().endsWith(QStringLiteral("-")), qPrintable(error["error"].toString()));
    QCOMPARE(answer.header("X-Content-Type-Options"), QByteArray("nosniff"));
}

void TestWebStation::onlyGetAndHeadOnKnownPaths()
{
    for (const char *method : {"POST", "PUT", "DELETE", "PATCH"}) {
        const HttpAnswer answer = httpRequest(m_station->url("/api/v1/status"), method);
        QCOMPARE(answer.status, 405);
        QCOMPARE(answer.header("Allow"), QByteArray("GET, HEAD"));
    }
    for (const char *path : {"/nothing", "/api/v1/status/", "/vantoro.db", "/%2e%2e/%2e%2e/etc/passwd", "/index.html"})
        QCOMPARE(httpRequest(m_station->url(path)).status, 404);

    const HttpAnswer get = httpRequest(m_station->url("/metrics"));
    const HttpAnswer head = httpRequest(m_station->url("/metrics"), "HEAD");
    QCOMPARE(head.status, 200);
    QVERIFY(head.body.isEmpty());
    QCOMPARE(head.header("Content-Length").toInt(), get.body.size());
    for (const HttpAnswer &a : {get, head, httpRequest(m_station->url("/nothing"))}) {
        QCOMPARE(a.header("Content-Security-Policy"), QByteArray("default-src 'self'"));
        QCOMPARE(a.header("X-Content-Type-Options"), QByteArray("nosniff"));
        QCOMPARE(a.header("Cache-Control"), QByteArray("no-store"));
    }
}

void TestWebStation::oversizedRequestsAndTooManyConnectionsAreRefused()
{
    const quint16 port = m_station->port();
    const QByteArray filler(7000, 'a');
    const QByteArray fits = rawExchange(port, "GET /metrics HTTP/1.1\r\n" + hostLine(port) + "X-Fill: " + filler + "\r\n\r\n");
    QVERIFY2(fits.startsWith("HTTP/1.1 200"), fits.left(80).constData());
    const QByteArray big(9000, 'a');
    const QByteArray refused = rawExchange(port, "GET /metrics HTTP/1.1\r\n" + hostLine(port) + "X-Fill: " + big + "\r\n\r\n");
    QVERIFY2(refused.startsWith("HTTP/1.1 431"), refused.left(80).constData());

    // Sixteen idle connections fill the server; the next one is turned away.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < WEB_MAX_CONNECTIONS; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(held.back()->waitForConnected(3000));
    }
    QTest::qWait(100);
    const QByteArray turnedAway = rawExchange(port, "GET /metrics HTTP/1.1\r\n" + hostLine(port) + "\r\n");
    QVERIFY2(turnedAway.startsWith("HTTP/1.1 503"), turnedAway.left(80).constData());
    held.clear();
    QTRY_COMPARE(httpRequest(m_station->url("/metrics")).status, 200);
}

void TestWebStation::slowClientsAreClosed()
{
    // Sixteen clients sending a byte now and then, which restarts any idle
    // timer, are closed when their head is not complete in time.
    const quint16 port = m_station->port();
    std::vector<std::unique_ptr<QTcpSocket>> slow;
    for (int i = 0; i < WEB_MAX_CONNECTIONS; ++i) {
        slow.push_back(std::make_unique<QTcpSocket>());
        slow.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(slow.back()->waitForConnected(3000));
    }
    const QByteArray head = "GET /metrics HTTP/1.1\r\n" + hostLine(port) + "X-Slow: 1\r\n";
    QDeadlineTimer deadline(2500);
    for (int at = 0; !deadline.hasExpired(); ++at) {
        for (auto &socket : slow) {
            if (socket->state() == QAbstractSocket::ConnectedState)
                socket->write(head.mid(at % head.size(), 1));
        }
        QTest::qWait(200);
    }
    for (auto &socket : slow)
        QCOMPARE(socket->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(httpRequest(m_station->url("/metrics")).status, 200);

    // A client that keeps asking in time is still closed when its
    // connection's budget is spent, and its slot is free again.
    WebApi api(m_station->web());
    WebHttpServer server(api);
    auto *tcp = new GuardedTcpServer({1000, 3000, 600}, &server);
    QVERIFY(tcp->listen(QHostAddress::LocalHost, 0));
    server.bind(tcp);
    QTcpSocket busy;
    busy.connectToHost(QHostAddress::LocalHost, tcp->serverPort());
    QVERIFY(busy.waitForConnected(3000));
    int answers = 0;
    for (int i = 0; i < 20 && busy.state() == QAbstractSocket::ConnectedState; ++i) {
        busy.write("GET /metrics HTTP/1.1\r\n\r\n");
        QTest::qWait(100);
        answers += busy.readAll().count("HTTP/1.1 200");
    }
    QCOMPARE(busy.state(), QAbstractSocket::UnconnectedState);
    QVERIFY2(answers >= 4 && answers <= 8, qPrintable(QString::number(answers)));
    QTRY_COMPARE(tcp->openConnections(), 0);
}

void TestWebStation::hostileClientsDoNotSwellMemory()
{
    const quint16 port = m_station->port();
    const qint64 before = residentKb();

    // A body, with blank lines all through it, is refused at its head and
    // never read: the server closes while the client is still sending.
    auto poster = nonReadingClient(port);
    poster->write("POST /api/v1/status HTTP/1.1\r\n" + hostLine(port) + "Content-Length: 8388608\r\n\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(poster->bytesAvailable() > 0, 3000);
    QVERIFY(poster->readAll().startsWith("HTTP/1.1 413"));
    const QByteArray block = QByteArray(4094, 'b') + "\r\n\r\n";
    for (int i = 0; i < 2048 && poster->state() == QAbstractSocket::ConnectedState; ++i) {
        poster->write(block);
        QCoreApplication::processEvents();
    }
    QVERIFY(closedWithin(*poster, 3000));
    for (const char *announce : {"Transfer-Encoding: chunked\r\n", "Content-Length: 12abc\r\n"}) {
        const QByteArray answer = rawExchange(
            port, "POST /metrics HTTP/1.1\r\n" + hostLine(port) + announce + "\r\n5\r\nhello\r\n0\r\n\r\n", 3000, true);
        QVERIFY2(answer.startsWith("HTTP/1.1 413") || answer.startsWith("HTTP/1.1 400"), answer.constData());
    }

    // Pipelined requests past the bound are refused, not queued.
    auto flood = nonReadingClient(port);
    const QByteArray status = "GET /api/v1/status HTTP/1.1\r\n" + hostLine(port) + "\r\n";
    for (int i = 0; i < 20000 && flood->state() == QAbstractSocket::ConnectedState; ++i) {
        flood->write(status);
        if (i % 500 == 0)
            QCoreApplication::processEvents();
    }
    QVERIFY(closedWithin(*flood, 5000));

    // A client that asks within the pipelining bound but never reads: its
    // answers wait once a megabyte is queued, and it is closed.
    auto reader = nonReadingClient(port);
    const QByteArray page = "GET /page.js HTTP/1.1\r\n" + hostLine(port) + "\r\n";
    for (int i = 0; i < 2000 && reader->state() == QAbstractSocket::ConnectedState; ++i) {
        reader->write(page.repeated(4));
        QTest::qWait(1);
    }
    QVERIFY(closedWithin(*reader, 5000));

    const qint64 grown = residentKb() - before;
    QVERIFY2(grown < 8 * 1024, qPrintable(QStringLiteral("resident memory grew by %1 kB").arg(grown)));
    QCOMPARE(httpRequest(m_station->url("/metrics")).status, 200);
}

void TestWebStation::headCloseAndHostRules()
{
    const quint16 port = m_station->port();
    const QByteArray host = hostLine(port);
    // No body after HEAD, even on a refusal: the next answer on the same
    // connection starts where it should.
    const QByteArray twice = rawExchange(
        port, "HEAD /nothing HTTP/1.1\r\n" + host + "\r\nGET /metrics HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n",
        3000, true);
    QVERIFY2(twice.startsWith("HTTP/1.1 404"), twice.constData());
    const qsizetype second = twice.indexOf("\r\n\r\n") + 4;
    QVERIFY2(twice.mid(second).startsWith("HTTP/1.1 200"), twice.constData());
    QVERIFY(twice.contains("vantoro_build_info"));

    // Connection: close and HTTP/1.0 close at once, well before the idle time.
    for (const QByteArray &request :
         {"GET /metrics HTTP/1.1\r\n" + host + "Connection: close\r\n\r\n", "GET /metrics HTTP/1.0\r\n" + host + "\r\n"}) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(3000));
        socket.write(request);
        QVERIFY(closedWithin(socket, 1500));
        const QByteArray answer = socket.readAll();
        QVERIFY2(answer.startsWith("HTTP/1.1 200") && answer.contains("Connection: close\r\n"), answer.constData());
    }
    QTcpSocket kept;
    kept.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(kept.waitForConnected(3000));
    kept.write("GET /metrics HTTP/1.0\r\n" + host + "Connection: keep-alive\r\n\r\n");
    QVERIFY(!closedWithin(kept, 1000));
    QVERIFY(kept.readAll().contains("Connection: keep-alive\r\n"));

    // Bare LF ends a head as CRLF does: two heads of 5 KB each are two requests.
    const QByteArray lfHead = "GET /metrics HTTP/1.1\nHost: 127.0.0.1:" + QByteArray::number(port) + "\nX-Fill: "
        + QByteArray(5000, 'a') + "\n\n";
    const QByteArray lf = rawExchange(port, lfHead + lfHead + "GET /metrics HTTP/1.1\r\n" + host
                                          + "Connection: close\r\n\r\n", 3000, true);
    QCOMPARE(lf.count("HTTP/1.1 200"), 3);

    // Bound to loopback, only this machine's names are answered.
    for (const QByteArray &name : {QByteArray("localhost"), QByteArray("LOCALHOST"), QByteArray("[::1]")}) {
        const QByteArray answer =
            rawExchange(port, "GET /metrics HTTP/1.1\r\nHost: " + name + ':' + QByteArray::number(port) + "\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 200"), name.constData());
    }
    for (const QByteArray &line : {QByteArray("Host: rebound.example:") + QByteArray::number(port) + "\r\n",
                                   QByteArray("Host: localhost:1\r\n"), QByteArray("Host: localhost\r\n"),
                                   QByteArray()}) {
        const QByteArray answer = rawExchange(port, "GET /api/v1/status HTTP/1.1\r\n" + line + "\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 421"), line.constData());
        QVERIFY(!answer.contains("\"device\""));
    }
}

void TestWebStation::pollingOffServesNoLiveValues()
{
    m_station->poll();
    stationBus().publishPolling(false);
    const QByteArray m = httpRequest(m_station->url("/metrics")).body;
    QVERIFY2(!m.contains("vantoro_parameter_value"), m.constData());
    QVERIFY(!m.contains("vantoro_status_bit"));
    QVERIFY(!m.contains("vantoro_energy_kwh_total"));
    QVERIFY(m.contains("vantoro_link_up{device=\"001\"} 0\n"));
    QVERIFY(m.contains("vantoro_polling{device=\"001\"} 0\n"));
    const QJsonObject s = jsonOf(httpRequest(m_station->url("/api/v1/status")));
    QCOMPARE(s["link"]["up"].toBool(), false);
    QCOMPARE(s["link"]["stale"].toBool(), true);
    QCOMPARE(s["polling"].toBool(), false);
    QCOMPARE(s["parameters"].toArray().size(), 0);
    // The last reply's time stays true: it is when the values were read.
    QVERIFY(!s["link"]["lastReply"].isNull());
    m_station->poll(); // the fixture's timer still runs: polling on again
    QVERIFY(httpRequest(m_station->url("/metrics")).body.contains("vantoro_link_up{device=\"001\"} 1\n"));
}

void TestWebStation::pageRendersInChromium()
{
    const HttpAnswer page = httpRequest(m_station->url("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(page.header("Content-Type").startsWith("text/html"));
    QVERIFY(!page.body.contains("{{"));
    for (const char *path : {"/page.js", "/page.css", "/?from=bookmark"})
        QCOMPARE(httpRequest(m_station->url(path)).status, 200);

    const QString chromium = installedProgram(QStringLiteral("chromium"));
    if (chromium.isEmpty())
        QSKIP("chromium is not installed");
    QTemporaryDir profile;
    const auto dom = runProgram(chromium,
        {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
         "--disable-component-update", "--disable-sync", "--no-first-run", "--user-data-dir=" + profile.path(),
         "--virtual-time-budget=3000", "--dump-dom", m_station->url("/")},
        60000);
    QVERIFY(dom);
    const QString text = QString::fromUtf8(*dom);
    const QString linkUp = langText(QStringLiteral("webPage"), QStringLiteral("linkUp"), sysSettings.languageIndex);
    QVERIFY2(text.contains(QStringLiteral("<span id=\"link\" class=\"badge up\">") + linkUp + "</span>"),
             qPrintable(text.left(2000)));
    QVERIFY2(text.contains(QStringLiteral("<tr data-code=\"VAC\">")), qPrintable(text.left(4000)));
    QVERIFY(text.contains(QStringLiteral("<td class=\"num value\">230.1</td>")));

    // The README's picture, taken on request at a phone's size.
    const QString picture = qEnvironmentVariable("VANTORO_WEB_SCREENSHOT");
    if (!picture.isEmpty()) {
        // A slow browser start must not make the picture stale.
        sysSettings.languageIndex = LANGUAGE_ENGLISH;
        sysSettings.PauseSeconds = 60;
        m_station->poll();
        QTemporaryDir shotProfile;
        runProgram(chromium,
            {"--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--no-first-run", "--hide-scrollbars",
             "--user-data-dir=" + shotProfile.path(), "--virtual-time-budget=3000", "--window-size=412,1400",
             "--screenshot=" + picture, m_station->url("/")},
            60000);
        sysSettings.languageIndex = 0;
        sysSettings.PauseSeconds = 2;
        QVERIFY(QFile::exists(picture));
    }
}

void TestWebStation::linkDownLeavesParameterSeriesOut()
{
    QVERIFY(m_station->setScenario(QStringLiteral("fault=noreply\n")));
    m_station->poll();
    const QByteArray m = httpRequest(m_station->url("/metrics")).body;
    QVERIFY(!m.contains("vantoro_parameter_value"));
    QVERIFY(!m.contains("vantoro_status_bit"));
    QVERIFY(!m.contains("vantoro_energy_kwh_total"));
    QVERIFY(m.contains("vantoro_link_up{device=\"001\"} 0\n"));
    QVERIFY(m.contains("vantoro_polls_total{device=\"001\",result=\"timeout\"} 1\n"));
    const QJsonObject s = jsonOf(httpRequest(m_station->url("/api/v1/status")));
    QCOMPARE(s["link"]["up"].toBool(), false);
    QCOMPARE(s["parameters"].toArray().size(), 0);
    QVERIFY(m_station->setScenario(QString()));
    m_station->poll();
    QVERIFY(httpRequest(m_station->url("/metrics")).body.contains("vantoro_link_up{device=\"001\"} 1\n"));
}

// Device 001 is the simulator's; 002 has gone silent after one reply, 003
// answers with a fault.
void TestWebStation::plantOfThreeServedPerDevice()
{
    StationBus &bus = stationBus();
    const QList<DeviceInfo> single = bus.devices();
    QCOMPARE(single.size(), 1);
    PlantDevice west({QStringLiteral("002"), QStringLiteral("West \"roof\""), 2, 2, QStringLiteral("3K"), true});
    west.powerWatts = 800;
    west.energyKwh = 100;
    PlantDevice east({QStringLiteral("003"), QStringLiteral("East"), 3, 2, QStringLiteral("5K"), true});
    east.powerWatts = 1500;
    east.faults = QStringList{QStringLiteral("Grid frequency too low")};
    bus.publishDevices({single.first(), west.info, east.info});

    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime earlier = now.addSecs(-600);
    bus.publishCycle(plantReport(west, now.addSecs(-300)));
    west.linkUp = false;
    west.lastReplyTime = now.addSecs(-300);
    west.attempts = {PollResult::Timeout, PollResult::Timeout};
    bus.publishCycle(plantReport(west, now));
    east.energyKwh = 500.0;
    bus.publishCycle(plantReport(east, earlier));
    east.energyKwh = 500.25;
    bus.publishCycle(plantReport(east, now));
    m_station->poll();
    // The output power: PAC, else VAC x IAC, as the plant's total takes it.
    const QJsonObject firstStatus = jsonOf(httpRequest(m_station->url("/api/v1/status")));
    const QJsonObject pac = parameter(firstStatus, "PAC");
    const double firstPower = pac.contains(QStringLiteral("value"))
        ? pac["value"].toDouble()
        : tidyValue(parameter(firstStatus, "VAC")["value"].toDouble() * parameter(firstStatus, "IAC")["value"].toDouble());

    const HttpAnswer metrics = httpRequest(m_station->url("/metrics"));
    const QByteArray &m = metrics.body;
    for (const char *line : {"vantoro_link_up{device=\"001\"} 1\n", "vantoro_link_up{device=\"002\"} 0\n",
                             "vantoro_link_up{device=\"003\"} 1\n", "vantoro_alarm_active{device=\"003\"} 1\n",
                             "vantoro_parameter_value{device=\"003\",code=\"PAC\",unit=\"W\"} 1500\n",
                             "vantoro_energy_kwh_total{device=\"003\"} 500.25\n",
                             "vantoro_polls_total{device=\"002\",result=\"timeout\"} 2\n",
                             "vantoro_polls_total{device=\"003\",result=\"ok\"} 2\n",
                             // The silent device's last counter reading stays in the plant's lifetime energy.
                             "vantoro_plant_energy_kwh_total 12945.85\n", "vantoro_plant_devices_up 2\n"})
        QVERIFY2(m.contains(line), (QByteArray(line) + "\nin:\n" + m).constData());
    QVERIFY(m.contains("vantoro_plant_power_watts " + sampleValue(firstPower + 1500) + '\n'));
    QVERIFY(!m.contains("device=\"002\",code="));
    QVERIFY(!m.contains("vantoro_energy_kwh_total{device=\"002\"}"));
    // Each family's header once, however many devices carry it.
    for (const QByteArray &family : {QByteArray("vantoro_link_up"), QByteArray("vantoro_parameter_value"),
                                     QByteArray("vantoro_polls_total"), QByteArray("vantoro_energy_kwh_total")}) {
        QCOMPARE(m.count("# TYPE " + family + ' '), 1);
        QCOMPARE(m.count("# HELP " + family + ' '), 1);
    }
    if (const QString promtool = installedProgram(QStringLiteral("promtool")); !promtool.isEmpty()) {
        int exitCode = -1;
        const auto out = runProgram(promtool, {QStringLiteral("check"), QStringLiteral("metrics")}, 20000, &exitCode, m);
        QVERIFY(out);
        QVERIFY2(exitCode == 0 && out->trimmed().isEmpty(), out->constData());
    }

    const HttpAnswer listAnswer = httpRequest(m_station->url("/api/v1/devices"));
    QCOMPARE(listAnswer.status, 200);
    const QJsonObject list = jsonOf(listAnswer);
    const QJsonArray devices = list["devices"].toArray();
    QCOMPARE(devices.size(), 3);
    QCOMPARE(devices[0]["id"].toString(), QStringLiteral("001"));
    QCOMPARE(devices[0]["linkUp"].toBool(), true);
    QCOMPARE(devices[0]["powerWatts"].toDouble(), firstPower);
    const QJsonValue silent = devices[1];
    QCOMPARE(silent["name"].toString(), west.info.name);
    QCOMPARE(silent["address"].toInt(), 2);
    QCOMPARE(silent["linkUp"].toBool(), false);
    QCOMPARE(silent["stale"].toBool(), true);
    QCOMPARE(silent["powerWatts"].type(), QJsonValue::Null);
    QVERIFY(!silent["lastReply"].isNull());
    const QJsonValue faulty = devices[2];
    QCOMPARE(faulty["rating"].toString(), QStringLiteral("5K"));
    QCOMPARE(faulty["alarm"].toBool(), true);
    QCOMPARE(faulty["faults"].toInt(), 1);
    QCOMPARE(faulty["powerWatts"].toDouble(), 1500.0);
    QCOMPARE(faulty["enabled"].toBool(), true);
    if (earlier.date() == now.date())
        QCOMPARE(faulty["todayYieldKwh"].toDouble(), 0.25);
    const QJsonObject plant = list["plant"].toObject();
    QCOMPARE(plant["powerWatts"].toDouble(), firstPower + 1500);
    QCOMPARE(plant["energyKwh"].toDouble(), 12945.85);
    QCOMPARE(plant["devicesUp"].toInt(), 2);
    double yieldSum = 0;
    for (const QJsonValue &d : devices)
        yieldSum += d["todayYieldKwh"].toDouble();
    QCOMPARE(plant["todayYieldKwh"].toDouble(), yieldSum);

    const QJsonObject first = jsonOf(httpRequest(m_station->url("/api/v1/status")));
    QCOMPARE(first["device"]["id"].toString(), QStringLiteral("001"));
    const QJsonObject third = jsonOf(httpRequest(m_station->url("/api/v1/status?device=003")));
    QCOMPARE(third["device"]["name"].toString(), QStringLiteral("East"));
    QCOMPARE(third["alarm"].toBool(), true);
    QCOMPARE(third["faults"].toArray().size(), 1);
    QCOMPARE(parameter(third, "PAC")["value"].toDouble(), 1500.0);
    const QJsonObject second = jsonOf(httpRequest(m_station->url("/api/v1/status?device=002")));
    QCOMPARE(second["link"]["up"].toBool(), false);
    QCOMPARE(second["parameters"].toArray().size(), 0);
    const HttpAnswer unknown = httpRequest(m_station->url("/api/v1/status?device=009"));
    QCOMPARE(unknown.status, 404);
    QCOMPARE(jsonOf(unknown)["parameter"].toString(), QStringLiteral("device"));
    for (const char *bad : {"0", "033", "000", "0001", "abc", "", "%20001"}) {
        const HttpAnswer refused = httpRequest(m_station->url("/api/v1/status?device=" + QString::fromLatin1(bad)));
        QVERIFY2(refused.status == 400, bad);
        QCOMPARE(jsonOf(refused)["parameter"].toString(), QStringLiteral("device"));
    }
    QCOMPARE(httpRequest(m_station->url("/api/v1/devices?device=001")).status, 400);

    // The page: a tile per device, the one in the address chosen and shown.
    if (const QString chromium = installedProgram(QStringLiteral("chromium")); !chromium.isEmpty()) {
        const auto dom = runChromium(chromium, {"--dump-dom"}, m_station->url("/#device=003"));
        QVERIFY(dom);
        const QString text = QString::fromUtf8(*dom);
        QVERIFY2(text.count(QStringLiteral("<button class=\"tile ")) == 3, qPrintable(text.mid(text.indexOf(QLatin1String("<body")), 3000)));
        QVERIFY2(text.contains(QStringLiteral("class=\"tile alarm selected\" type=\"button\" data-id=\"003\"")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("class=\"tile down\" type=\"button\" data-id=\"002\"")));
        QVERIFY(text.contains(QStringLiteral("<h1 id=\"device\">East</h1>")));
        QVERIFY(!text.contains(QStringLiteral("<section id=\"plant\" hidden")));
        // Pictures to look at, on request: a phone's width and a desk's.
        const QString picture = qEnvironmentVariable("VANTORO_WEB_PLANT_SCREENSHOT");
        if (!picture.isEmpty()) {
            for (const auto &[size, name] : {std::pair{"390,1600", "phone"}, std::pair{"1280,1100", "desktop"}}) {
                const QString file = picture + QLatin1Char('_') + QLatin1String(name) + QStringLiteral(".png");
                runChromium(chromium, {QStringLiteral("--window-size=") + QLatin1String(size), "--screenshot=" + file},
                            m_station->url("/#device=003"));
                QVERIFY(QFile::exists(file));
            }
        }
    }

    // A device disabled on the line is served without live values.
    QList<DeviceInfo> disabled = bus.devices();
    disabled[2].enabled = false;
    bus.publishDevices(disabled);
    const QJsonObject off = jsonOf(httpRequest(m_station->url("/api/v1/status?device=003")));
    QCOMPARE(off["polling"].toBool(), false);
    QCOMPARE(off["parameters"].toArray().size(), 0);
    QVERIFY(httpRequest(m_station->url("/metrics")).body.contains("vantoro_plant_devices_up 1\n"));

    bus.publishDevices(single);
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/devices")))["devices"].toArray().size(), 1);
    QCOMPARE(httpRequest(m_station->url("/api/v1/status?device=003")).status, 404);
}

void TestWebStation::settingsApplyOnSaveWithoutRestart()
{
    WebService &web = m_station->web();
    // A save that changes nothing of ours (the sound switch) keeps the server.
    stationBus().publishSettingsSaved();
    QCOMPARE(web.port(), m_station->port());

    const quint16 moved = freeLoopbackPort();
    sysSettings.httpport = moved;
    stationBus().publishSettingsSaved();
    QCOMPARE(web.port(), moved);
    QCOMPARE(httpRequest(QStringLiteral("http://127.0.0.1:%1/metrics").arg(moved)).status, 200);
    QCOMPARE(httpRequest(m_station->url("/metrics")).status, 0);

    QTcpServer squatter;
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    sysSettings.httpport = squatter.serverPort();
    m_station->messages().texts.clear();
    stationBus().publishSettingsSaved();
    QVERIFY(!web.listening());
    QVERIFY(web.lastError().contains(QString::number(squatter.serverPort())));
    QCOMPARE(m_station->messages().texts.size(), 1);
    // A plain save tries the port again; once it is free, so does the minute.
    stationBus().publishSettingsSaved();
    QVERIFY(!web.listening());
    QCOMPARE(m_station->messages().texts.size(), 1);
    const quint16 squatted = squatter.serverPort();
    squatter.close();
    stationBus().publishSettingsSaved();
    QCOMPARE(web.port(), squatted);
    QVERIFY(squatter.listen(QHostAddress::LocalHost, 0));
    sysSettings.httpport = squatter.serverPort();
    stationBus().publishSettingsSaved();
    QVERIFY(!web.listening());
    web.setRetryIntervalMs(100);
    squatter.close();
    QTRY_COMPARE(web.port(), sysSettings.httpport);
    QCOMPARE(m_station->messages().texts.size(), 2);

    sysSettings.HttpServerEnabled = WEB_MODE_OFF;
    sysSettings.httpport = m_station->port();
    stationBus().publishSettingsSaved();
    QVERIFY(!web.listening());
    sysSettings.HttpServerEnabled = WEB_MODE_LOOPBACK;
    stationBus().publishSettingsSaved();
    QCOMPARE(web.port(), m_station->port());
}

QTEST_MAIN(TestWebStation)
#include "tst_web_station.moc"
