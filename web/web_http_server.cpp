// Writing WebApi's answers through the responder.
#include "web/web_http_server.h"

#include "web/reply_queue.h"
#include "web/web_api.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>
#include <memory>

namespace vantoro {

namespace {

QByteArray methodName(QHttpServerRequest::Method method)
{
    const char *key = QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(method));
    return key ? QByteArray(key).toUpper() : QByteArray("UNKNOWN");
}

} // namespace

WebHttpServer::WebHttpServer(WebApi &api, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_api(api)
    , m_replies(new ReplyQueue(&WebHttpServer::writeReply, this))
{
}

bool WebHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QUrl url = request.url();
    WebReply reply = m_api.handle(methodName(request.method()), url.path(), url.query(QUrl::FullyEncoded).toUtf8());
    m_replies->answer(socket, std::make_unique<QHttpServerResponder>(makeResponder(request, socket)), std::move(reply));
    return true;
}

void WebHttpServer::writeReply(QHttpServerResponder &responder, const WebReply &reply)
{
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    for (const auto &[name, value] : reply.allHeaders())
        responder.writeHeader(name, value);
    responder.writeBody(reply.sendBody ? reply.body : QByteArray());
}

void WebHttpServer::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // handleRequest answers every request.
}

} // namespace vantoro
