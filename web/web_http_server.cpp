// Writing WebApi's answers through the responder.
#include "web/web_http_server.h"

#include "web/web_api.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QMetaEnum>

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
{
}

bool WebHttpServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const QUrl url = request.url();
    const WebReply reply = m_api.handle(methodName(request.method()), url.path(),
                                        url.query(QUrl::FullyEncoded).toUtf8());
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode(reply.status));
    for (const auto &[name, value] : reply.allHeaders())
        responder.writeHeader(name, value);
    responder.writeBody(reply.sendBody ? reply.body : QByteArray());
    return true;
}

void WebHttpServer::missingHandler(const QHttpServerRequest &, QTcpSocket *)
{
    // handleRequest answers every request.
}

} // namespace vantoro
