// The web server against the simulator: every endpoint read with a real HTTP
// client, the metrics checked by promtool, the page rendered by Chromium, and
// the refusals (methods, paths, parameters, sizes, connection count).
#include "web_fixture.h"

#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "core/database.h"
#include "events/event_log.h"
#include "history/daily_yield.h"
#include "history/history_store.h"
#include "web/connection_guard.h"
#include "web/web_service.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QDeadlineTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

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

// Raw bytes to the server; what came back before it closed or went quiet.
QByteArray rawExchange(quint16 port, const QByteArray &request, int waitMs = 3000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write(request);
    QByteArray answer;
    QDeadlineTimer deadline(waitMs);
    while (!deadline.hasExpired() && socket.state() != QAbstractSocket::UnconnectedState
           && !answer.contains("\r\n\r\n")) {
        socket.waitForReadyRead(50);
        answer += socket.readAll();
        QCoreApplication::processEvents();
    }
    answer += socket.readAll();
    return answer;
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
    void badParametersAreNamed_data();
    void badParametersAreNamed();
    void onlyGetAndHeadOnKnownPaths();
    void oversizedRequestsAndTooManyConnectionsAreRefused();
    void pageRendersInChromium();
    void linkDownLeavesParameterSeriesOut();
    void settingsApplyOnSaveWithoutRestart();

private:
    std::unique_ptr<WebStation> m_station;
};

void TestWebStation::initTestCase()
{
    isolateUserSettings();
    m_station = std::make_unique<WebStation>();
    QString error;
    QVERIFY2(m_station->start(&error), qPrintable(error));
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
                             "vantoro_device_asleep{device=\"001\"} 0\n",
                             "vantoro_polls_total{device=\"001\",result=\"ok\"} 2\n",
                             "vantoro_polls_total{device=\"001\",result=\"send_error\"} 0\n",
                             "vantoro_build_info{device=\"001\",version=\"" VANTORO_VERSION "\"} 1\n",
                             "# TYPE vantoro_energy_kwh_total counter\n"})
        QVERIFY2(m.contains(line), (QByteArray(line) + "\nin:\n" + m).constData());
    QVERIFY(m.contains("vantoro_last_reply_timestamp_seconds{device=\"001\"} 1"));
    // Unwatched parameters have no in-limits series; the reply time is no number.
    QVERIFY(!m.contains("vantoro_parameter_in_limits{device=\"001\",code=\"EKWH\"}"));
    QVERIFY(!m.contains("code=\"TIME\""));

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
    QVERIFY(rows[0]["time"].toString().startsWith(today + "T"));
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
        const QList<HistorySample> samples{{ten, {{1, 230.1}, {2, 10.02}}},
                                           {ten.addSecs(60), {{1, 231.0}}},
                                           {ten.addSecs(120), {{1, 229.5}, {2, 9.5}}}};
        for (const HistorySample &sample : samples) {
            if (!insertSample(db, sample, e))
                return false;
        }
        for (const DayYield &y : {yieldRow(QDate(2025, 3, 10), 5.5), yieldRow(QDate(2025, 3, 11), 4.25),
                                  yieldRow(QDate(2025, 4, 1), 1.0)}) {
            if (!saveDayYield(db, y, e))
                return false;
        }
        return storeColumns(db, {{1, QStringLiteral("VAC"), QStringLiteral("Voltage"), QStringLiteral("V")},
                                 {2, QStringLiteral("IAC"), QStringLiteral("Current"), QStringLiteral("A")}}, e);
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
    QCOMPARE(minute["columns"].toArray().size(), 2);

    const HttpAnswer csv = httpRequest(m_station->url("/api/v1/history?from=2025-03-10&codes=VAC&format=csv"));
    QCOMPARE(csv.status, 200);
    QCOMPARE(csv.header("Content-Type"), QByteArray("text/csv; charset=utf-8"));
    const QList<QByteArray> lines = csv.body.split('\n');
    QCOMPARE(lines.size(), 5); // header, three samples, the last line end
    QVERIFY(lines[0].endsWith(",Voltage (V)\r")); // and no byte-order mark before it
    QVERIFY(!lines[0].startsWith("\xEF"));
    QCOMPARE(lines[3], QByteArray("2025-03-10T10:02:00,229.5\r"));

    const QJsonObject march = jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025&month=3")));
    QCOMPARE(march["days"].toArray().size(), 2);
    QCOMPARE(march["days"][1]["energyKwh"].toDouble(), 4.25);
    QCOMPARE(march["totalKwh"].toDouble(), 9.75);
    const QJsonObject year = jsonOf(httpRequest(m_station->url("/api/v1/yield?year=2025")));
    QCOMPARE(year["months"].toArray().size(), 12);
    QCOMPARE(year["months"][2]["energyKwh"].toDouble(), 9.75);
    QCOMPARE(year["totalKwh"].toDouble(), 10.75);

    // Today's yield: the counter's rise until the recorder has a row for today.
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/status")))["todayYieldKwh"].toDouble(), 0.0);
    QVERIFY(historyWrite([&](QSqlDatabase &db, QString &e) { return saveDayYield(db, yieldRow(today, 7.5), e); }));
    m_station->poll();
    QCOMPARE(jsonOf(httpRequest(m_station->url("/api/v1/status")))["todayYieldKwh"].toDouble(), 7.5);
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
    const QByteArray fits = rawExchange(port, "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Fill: " + filler + "\r\n\r\n");
    QVERIFY2(fits.startsWith("HTTP/1.1 200"), fits.left(80).constData());
    const QByteArray big(9000, 'a');
    const QByteArray refused = rawExchange(port, "GET /metrics HTTP/1.1\r\nHost: x\r\nX-Fill: " + big + "\r\n\r\n");
    QVERIFY2(refused.startsWith("HTTP/1.1 431"), refused.left(80).constData());

    // Sixteen idle connections fill the server; the next one is turned away.
    std::vector<std::unique_ptr<QTcpSocket>> held;
    for (int i = 0; i < WEB_MAX_CONNECTIONS; ++i) {
        held.push_back(std::make_unique<QTcpSocket>());
        held.back()->connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(held.back()->waitForConnected(3000));
    }
    QTest::qWait(100);
    const QByteArray turnedAway = rawExchange(port, "GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QVERIFY2(turnedAway.startsWith("HTTP/1.1 503"), turnedAway.left(80).constData());
    held.clear();
    QTRY_COMPARE(httpRequest(m_station->url("/metrics")).status, 200);
}

void TestWebStation::pageRendersInChromium()
{
    const HttpAnswer page = httpRequest(m_station->url("/"));
    QCOMPARE(page.status, 200);
    QVERIFY(page.header("Content-Type").startsWith("text/html"));
    QVERIFY(!page.body.contains("{{"));
    for (const char *path : {"/page.js", "/page.css"})
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
