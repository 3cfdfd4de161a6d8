// The data folder's instance lock over QLockFile.
#include "core/instance_lock.h"

#include "core/common.h"

namespace vantoro {

InstanceLock::InstanceLock(const QString &folder)
    : m_path(addBackslash(folder) + QString::fromLatin1(INSTANCE_LOCK_FILE))
    , m_lock(m_path)
{
    // A running station holds its lock for months: only a dead holder makes
    // it stale, never its age.
    m_lock.setStaleLockTime(0);
}

InstanceLock::~InstanceLock()
{
    if (m_lock.isLocked())
        m_lock.unlock();
}

bool InstanceLock::tryLock()
{
    return m_lock.isLocked() || m_lock.tryLock(0);
}

qint64 InstanceLock::holderPid() const
{
    qint64 pid = 0;
    QString host;
    QString application;
    return m_lock.getLockInfo(&pid, &host, &application) ? pid : 0;
}

QString InstanceLock::refusal() const
{
    switch (m_lock.error()) {
    case QLockFile::LockFailedError: {
        const qint64 pid = holderPid();
        return pid > 0 ? QStringLiteral("another station (process %1) is running on %2").arg(pid).arg(m_path)
                       : QStringLiteral("another station is running on %1").arg(m_path);
    }
    case QLockFile::PermissionError:
        return QStringLiteral("the lock file %1 cannot be created (no permission)").arg(m_path);
    default:
        return QStringLiteral("the lock file %1 cannot be taken").arg(m_path);
    }
}

} // namespace vantoro
