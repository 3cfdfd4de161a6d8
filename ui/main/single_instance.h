// One running station per installation and user: the first instance listens
// on a local socket; a later one asks it to raise its main window.
#pragma once

#include <QLocalServer>
#include <QString>
#include <functional>

namespace vantoro {

class SingleInstance
{
public:
    explicit SingleInstance(const QString &serverName = defaultServerName());
    ~SingleInstance();

    static QString defaultServerName();

    bool otherRunning() const;
    // Asks the running instance to bring its main window to the front; true
    // when it answered that it did.
    bool askOtherToRaise() const;
    // Becomes the running instance; `raise` is called for every request and
    // returns whether a main window was there to raise.
    bool listen(std::function<bool()> raise);

private:
    QString m_name;
    QLocalServer m_server;
    std::function<bool()> m_raise;
};

} // namespace vantoro
