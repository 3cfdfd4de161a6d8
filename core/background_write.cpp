// Work on a worker thread.
#include "core/background_write.h"

#include <QThread>

namespace vantoro {

BackgroundWrite::BackgroundWrite(Work work, Done done, QObject *parent)
    : QObject(parent)
    , m_done(std::move(done))
{
    m_thread = QThread::create([this, work = std::move(work)] { m_ok = work(m_error); });
    connect(m_thread, &QThread::finished, this, [this] {
        m_thread->wait();
        if (Done done = std::exchange(m_done, nullptr))
            done(m_ok, m_error);
    });
    m_thread->start();
}

BackgroundWrite::~BackgroundWrite()
{
    m_done = nullptr;
    m_thread->wait();
    delete m_thread;
}

} // namespace vantoro
