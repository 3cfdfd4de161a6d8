// Writing WebApi's answers to the socket, in the order the requests came.
#include "web/web_http_server.h"

#include "web/connection_guard.h"
#include "web/reply_queue.h"
#include "web/web_api.h"

#include <QHttpServerRequest>
#include <QMetaEnum>
#include <QPointer>
#include <QTcpSocket>

namespace vantoro {

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QByteArray(key).toUpper() : QByteArray("UNKNOWN");
}

QByteArray answerBytes(const WebReply &reply, const RequestHead &head)
{
    QByteArray out = statusLine(reply.status) + "\r\n";
    for (const auto &[name, value] : reply.allHeaders())
        out += name + ": " + value + "\r\n";
    if (!head.keepAlive)
        out += "Connection: close\r\n";
    else if (head.http10)
        out += "Connection: keep-alive\r\n";
    out += "\r\n";
    if (reply.sendBody)
        out += reply.body;
    return out;
}

} // namespace

WebHttpServer::WebHttpServer(WebApi &api, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_api(api)
    , m_replies(new ReplyQueue(this))
{
}

bool WebHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    ConnectionGuard *guard = ConnectionGuard::of(socket);
    RequestHead head = guard ? guard->takeHead() : RequestHead{};
    if (hasHeaderToken(request.value("connection"), "close"))
        head.keepAlive = false;
    const QUrl url = request.url();
    const WebRequest asked{methodName(request.method()), url.path(), url.query(QUrl::FullyEncoded).toUtf8(),
                           request.value("host")};
    // The guard holds a finished answer back while the client is not reading.
    auto write = [guard = QPointer<ConnectionGuard>(guard), socket = QPointer<QTcpSocket>(socket),
                  head](const WebReply &reply) {
        auto answer = [bytes = answerBytes(reply, head), keepAlive = head.keepAlive](QTcpSocket *to) {
            to->write(bytes);
            return keepAlive;
        };
        if (guard)
            guard->submit(answer);
        else if (socket && !answer(socket))
            socket->disconnectFromHost();
    };
    m_replies->answer(socket, write, m_api.handle(asked));
    return true;
}

void WebHttpServer::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // handleRequest answers every request.
}

} // namespace vantoro
