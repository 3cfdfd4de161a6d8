// A real Prometheus scrapes the station once a second with the fleet alert
// rules loaded; what it stored, the rules' health and the alerts firing are
// read back through its API.
#include "web_fixture.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

using namespace vantoro;
using namespace vantoro::test;

namespace {

// The value Prometheus holds now for `query`; empty until it has one.
QString queryValue(quint16 port, const QString &query)
{
    QUrlQuery q;
    q.addQueryItem(QStringLiteral("query"), query);
    const HttpAnswer answer =
        httpRequest(QStringLiteral("http://127.0.0.1:%1/api/v1/query?").arg(port) + q.toString(QUrl::FullyEncoded));
    const QJsonObject data = QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("data")).toObject();
    const QJsonArray result = data.value(QStringLiteral("result")).toArray();
    return result.isEmpty() ? QString() : result[0].toObject().value(QStringLiteral("value")).toArray()[1].toString();
}

QJsonObject apiData(quint16 port, const QString &path)
{
    const HttpAnswer answer = httpRequest(QStringLiteral("http://127.0.0.1:%1/api/v1/").arg(port) + path);
    return QJsonDocument::fromJson(answer.body).object().value(QStringLiteral("data")).toObject();
}

// Each loaded rule's name with its health ("ok" once evaluated cleanly).
QMap<QString, QString> ruleHealth(quint16 port)
{
    QMap<QString, QString> health;
    for (const QJsonValue &group : apiData(port, QStringLiteral("rules")).value(QStringLiteral("groups")).toArray()) {
        for (const QJsonValue &rule : group.toObject().value(QStringLiteral("rules")).toArray())
            health.insert(rule[QStringLiteral("name")].toString(), rule[QStringLiteral("health")].toString());
    }
    return health;
}

QStringList firing(quint16 port)
{
    QStringList names;
    for (const QJsonValue &alert : apiData(port, QStringLiteral("alerts")).value(QStringLiteral("alerts")).toArray()) {
        const QJsonObject a = alert.toObject();
        if (a.value(QStringLiteral("state")).toString() == QStringLiteral("firing"))
            names << a.value(QStringLiteral("labels")).toObject().value(QStringLiteral("alertname")).toString() + QLatin1Char('/')
                    + a.value(QStringLiteral("labels")).toObject().value(QStringLiteral("device")).toString();
    }
    return names;
}

} // namespace

class TestWebPrometheus : public QObject
{
    Q_OBJECT

private slots:
    void prometheusStoresTheStationsSeries();
};

void TestWebPrometheus::prometheusStoresTheStationsSeries()
{
    const QString prometheus = installedProgram(QStringLiteral("prometheus"));
    if (prometheus.isEmpty())
        QSKIP("prometheus is not installed (Debian package prometheus)");
    isolateUserSettings();
    WebStation station;
    QString error;
    QVERIFY2(station.start(&error), qPrintable(error));
    station.poll();

    QTemporaryDir dir;
    const quint16 port = freeLoopbackPort();
    QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write(QStringLiteral("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\n  evaluation_interval: 1s\n"
                                "rule_files:\n  - '%2'\n"
                                "scrape_configs:\n  - job_name: vantoro\n    static_configs:\n"
                                "      - targets: ['127.0.0.1:%1']\n")
                     .arg(station.port())
                     .arg(QStringLiteral(VANTORO_ALERT_RULES))
                     .toUtf8());
    config.close();
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(prometheus, {"--config.file=" + config.fileName(), "--storage.tsdb.path=" + dir.filePath("data"),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port)});
    QVERIFY(server.waitForStarted(5000));

    QTRY_COMPARE_WITH_TIMEOUT(queryValue(port, QStringLiteral("vantoro_link_up{device=\"001\"}")), QStringLiteral("1"),
                              30000);
    QCOMPARE(queryValue(port, QStringLiteral("vantoro_parameter_value{code=\"VAC\"}")), QStringLiteral("230.1"));
    QCOMPARE(queryValue(port, QStringLiteral("up{job=\"vantoro\"}")), QStringLiteral("1"));

    // The shipped rules load as they are and evaluate cleanly; the
    // simulator's fault fires at once.
    const QStringList rules{"VantoroDeviceLost", "VantoroFaultActive", "VantoroAlarmUnacknowledged",
                            "VantoroStationNotScraped", "VantoroNoEnergyRise"};
    QTRY_COMPARE_WITH_TIMEOUT(ruleHealth(port).keys().size(), rules.size(), 10000);
    for (const QString &rule : rules)
        QTRY_COMPARE_WITH_TIMEOUT(ruleHealth(port).value(rule), QStringLiteral("ok"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(firing(port).contains(QStringLiteral("VantoroFaultActive/001")), 10000);
    QCOMPARE(firing(port), QStringList{QStringLiteral("VantoroFaultActive/001")});

    server.terminate();
    if (!server.waitForFinished(5000))
        server.kill();
}

QTEST_MAIN(TestWebPrometheus)
#include "tst_web_prometheus.moc"
