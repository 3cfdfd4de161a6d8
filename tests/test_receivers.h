// Real receivers the services' tests talk to on loopback ports: an SMTP
// server (Debian's aiosmtpd) that saves each message as an independent
// mail reader parsed it, and a webhook that records the JSON Apprise posts.
#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

class QTcpSocket;

namespace vantoro::test {

// The Python interpreter that has aiosmtpd; empty when none has.
QString python();
// A loopback port free right now.
int freePort();

class SmtpServer
{
public:
    // `refuseLogin`: the server offers a login and refuses every one.
    SmtpServer(int port, bool refuseLogin);
    ~SmtpServer();
    bool waitReady();
    QString folder() const;
    // Every message received, oldest first.
    QList<QJsonObject> messages() const;

private:
    void writeFile(const QString &name, const char *text);
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port;
};

// A webhook that records each JSON post and answers 200, or one that reads
// the post and never answers.
class Webhook : public QObject
{
public:
    explicit Webhook(bool hang = false);
    QString url(const QString &path = QStringLiteral("hook")) const;

    QList<QJsonObject> posts;
    int requests = 0;

private:
    void read(QTcpSocket *s);

    QTcpServer m_server;
    bool m_hang;
    QHash<QTcpSocket *, QByteArray> m_buffers;
};

} // namespace vantoro::test
