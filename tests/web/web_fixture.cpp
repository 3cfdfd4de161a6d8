// The shared web test fixture.
#include "web_fixture.h"

#include "acquisition/param_table.h"
#include "plant/polling.h"
#include "acquisition/qt_serial_port.h"
#include "acquisition/serial_link.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "web/web_service.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpServer>

namespace vantoro::test {

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

QByteArray HttpAnswer::header(const QByteArray &name) const
{
    for (const auto &[key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

HttpAnswer httpRequest(const QString &url, const QByteArray &method)
{
    QNetworkAccessManager manager;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(10000);
    // A custom "HEAD" would leave the client waiting for a body.
    QNetworkReply *reply = method == "HEAD" ? manager.head(request) : manager.sendCustomRequest(request, method);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    HttpAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->readAll();
    answer.headers = reply->rawHeaderPairs();
    reply->deleteLater();
    return answer;
}

std::optional<QByteArray> runProgram(const QString &program, const QStringList &args, int timeoutMs, int *exitCode,
                                     const QByteArray &input)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    if (!process.waitForStarted(5000))
        return std::nullopt;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    timeout.start(timeoutMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(2000);
        return std::nullopt;
    }
    if (exitCode)
        *exitCode = process.exitCode();
    return process.readAll();
}

QString installedProgram(const QString &name)
{
    return QStandardPaths::findExecutable(name);
}

WebStation::WebStation() = default;

WebStation::~WebStation()
{
    m_web.reset();
    m_poller.reset();
    m_timer.reset();
    m_line.reset();
    m_sim.stop();
    m_messages.reset();
    m_home.reset();
}

bool WebStation::start(QString *error, const ConnectionLimits &limits)
{
    m_home = std::make_unique<TestHome>();
    m_messages = std::make_unique<MessageRecorder>();
    m_line = std::make_unique<Line>(std::make_unique<QtSerialPort>());
    if (!loadSystemSettings() || !m_line->load()) {
        *error = QStringLiteral("settings or parameter table not loaded");
        return false;
    }
    if (!m_sim.start({"--baud", "0", "--vac", "2301", "--iac", "1002", "--vdc", "3603", "--idc", "704", "--tmod",
                      "-55", "--tamb", "256", "--energy", "123456", "--status", "0x0101"})) {
        *error = m_sim.errorText();
        return false;
    }
    setPortDeviceName(1, m_sim.ptyPath());
    m_line->first()->setRecord(pollOneDevice(2, 0.3));
    sysSettings.PauseSeconds = 2;
    m_timer = std::make_unique<QTimer>();
    m_poller = std::make_unique<Poller>(*m_line, *m_timer, PollHooks{});
    m_timer->start(3600 * 1000); // polling on; the test drives the ticks

    m_port = freeLoopbackPort();
    sysSettings.HttpServerEnabled = WEB_MODE_LOOPBACK;
    sysSettings.httpport = m_port;
    m_web = std::make_unique<WebService>();
    m_web->setConnectionLimits(limits);
    m_web->start();
    if (!m_web->listening()) {
        *error = m_web->lastError();
        return false;
    }
    return true;
}

void WebStation::poll()
{
    m_poller->reloadTick();
}

QString WebStation::url(const QString &path) const
{
    return QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path);
}

} // namespace vantoro::test
