// A piece of database work on a worker thread of its own, so a database busy
// with another program waits there and never on the station's thread; its
// outcome comes back on the thread that started it.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QThread;

namespace vantoro {

class BackgroundWrite : public QObject
{
public:
    // Runs on the worker; false with `error` set on a failure.
    using Work = std::function<bool(QString &error)>;
    using Done = std::function<void(bool ok, const QString &error)>;

    // Starts at once; `done` runs on this object's thread unless the object
    // is destroyed first.
    BackgroundWrite(Work work, Done done, QObject *parent = nullptr);
    // Waits for the work to end; `done` is not called then.
    ~BackgroundWrite() override;

private:
    QThread *m_thread = nullptr;
    bool m_ok = false;
    QString m_error;
    Done m_done;
};

} // namespace vantoro
