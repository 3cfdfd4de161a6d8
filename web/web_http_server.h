// Qt HTTP Server's request parsing, with every request answered by WebApi:
// one place decides status, headers and body; the connection guard decides
// when the answer is written and whether the connection stays open.
#pragma once

#include <QAbstractHttpServer>

namespace vantoro {

class ReplyQueue;
class WebApi;

class WebHttpServer : public QAbstractHttpServer
{
public:
    WebHttpServer(WebApi &api, QObject *parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    WebApi &m_api;
    // Keeps each connection's answers in request order while long ones are
    // made on the worker.
    ReplyQueue *m_replies;
};

} // namespace vantoro
