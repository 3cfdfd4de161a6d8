// One station per data folder: a lock file in the folder, taken before the
// station touches anything there. A lock left by a process that has died is
// taken over.
#pragma once

#include <QLockFile>
#include <QString>

namespace vantoro {

inline constexpr const char *INSTANCE_LOCK_FILE = "vantoro.lock";

class InstanceLock
{
public:
    explicit InstanceLock(const QString &folder);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // True when this process holds the lock (now or already).
    bool tryLock();
    bool isLocked() const { return m_lock.isLocked(); }
    // The last attempt failed because a live process holds the lock (not for
    // want of permission).
    bool heldByOther() const { return m_lock.error() == QLockFile::LockFailedError; }
    // The process holding the lock, 0 when unknown.
    qint64 holderPid() const;
    QString path() const { return m_path; }
    // Why the lock was not taken, for a message.
    QString refusal() const;

private:
    QString m_path;
    QLockFile m_lock;
};

} // namespace vantoro
