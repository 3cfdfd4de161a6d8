// One station per data folder: a held lock refuses a second one, a lock left
// by a dead process is taken over, and a long-running holder keeps its lock.
#include "core/instance_lock.h"
#include "test_support.h"

#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace vantoro;

class TestInstanceLock : public QObject
{
    Q_OBJECT

private slots:
    void secondLockIsRefusedUntilReleased();
    void lockOfDeadProcessIsTakenOver();
};

void TestInstanceLock::secondLockIsRefusedUntilReleased()
{
    QTemporaryDir home;
    auto first = std::make_unique<InstanceLock>(home.path());
    QVERIFY(first->tryLock());
    // Backdated past QLockFile's default stale age: a holder that has run
    // for hours is still the holder.
    QFile lockFile(first->path());
    QVERIFY(lockFile.open(QIODevice::ReadWrite));
    lockFile.setFileTime(QDateTime::currentDateTime().addSecs(-3600), QFileDevice::FileModificationTime);
    lockFile.close();

    InstanceLock second(home.path());
    QVERIFY(!second.tryLock());
    QVERIFY(second.heldByOther());
    QCOMPARE(second.holderPid(), QCoreApplication::applicationPid());
    QVERIFY(second.refusal().contains(QString::number(QCoreApplication::applicationPid())));

    first.reset();
    QVERIFY(second.tryLock());
}

void TestInstanceLock::lockOfDeadProcessIsTakenOver()
{
    QTemporaryDir home;
    QByteArray contents;
    {
        InstanceLock live(home.path());
        QVERIFY(live.tryLock());
        QFile file(live.path());
        QVERIFY(file.open(QIODevice::ReadOnly));
        contents = file.readAll();
    }
    // The same lock as a process that has since died left it behind.
    QProcess gone;
    gone.start(QStringLiteral("true"), {});
    QVERIFY(gone.waitForStarted());
    const QByteArray deadPid = QByteArray::number(gone.processId());
    QVERIFY(gone.waitForFinished());
    contents = deadPid + contents.mid(contents.indexOf('\n'));
    QFile stale(home.filePath(QString::fromLatin1(INSTANCE_LOCK_FILE)));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(contents);
    stale.close();

    InstanceLock next(home.path());
    QCOMPARE(next.holderPid(), deadPid.toLongLong());
    QVERIFY(next.tryLock());
}

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instance_lock.moc"
