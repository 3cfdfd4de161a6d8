// Qt HTTP Server's request parsing and keep-alive, with every request
// answered by WebApi: one place decides status, headers and body.
#pragma once

#include <QAbstractHttpServer>

class QHttpServerResponder;

namespace vantoro {

class ReplyQueue;
class WebApi;
struct WebReply;

class WebHttpServer : public QAbstractHttpServer
{
public:
    WebHttpServer(WebApi &api, QObject *parent = nullptr);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    // Where every answer is written, in the order of its connection's requests.
    static void writeReply(QHttpServerResponder &responder, const WebReply &reply);

    WebApi &m_api;
    ReplyQueue *m_replies;
};

} // namespace vantoro
