// Findings of the security review that tests hold: a clear-text operator
// password of an older installation leaves the settings store at the next
// start, and the single-instance socket lives where only its user reaches it.
#include "test_support.h"

#include "core/password.h"
#include "core/system_settings.h"
#include "core/user_settings.h"
#include "ui/main/single_instance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

class TestSecurity : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { isolateUserSettings(); }

    void legacyClearTextPasswordIsHashedAtStart();
    void singleInstanceSocketIsPrivate();
};

void TestSecurity::legacyClearTextPasswordIsHashedAtStart()
{
    const QString secret = QStringLiteral("old station secret");
    setUserValue(UserKeys::UserPass, secret);
    TestHome home; // runs the start-up globals
    const QString stored = userValue(UserKeys::UserPass);
    QVERIFY(isPasswordHash(stored));
    QVERIFY(checkOperatorPassword(secret));
    QVERIFY(!checkOperatorPassword(QStringLiteral("Old station secret")));

    // Nothing of the clear text is left in the store's file.
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, QStringLiteral("Vantoro"),
                       QStringLiteral("Vantoro"));
    settings.sync();
    QFile file(settings.fileName());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(settings.fileName()));
    QVERIFY(!file.readAll().contains(secret.toUtf8()));

    // A hash stays as it is; an absent password stays absent.
    QVERIFY(!hashLegacyOperatorPassword());
    QCOMPARE(userValue(UserKeys::UserPass), stored);
    setUserValue(UserKeys::UserPass, QString());
    QVERIFY(!hashLegacyOperatorPassword());
    QVERIFY(userValue(UserKeys::UserPass).isEmpty());
}

void TestSecurity::singleInstanceSocketIsPrivate()
{
#ifdef Q_OS_UNIX
    TestHome home;
    SingleInstance instance;
    QVERIFY(instance.listen([] { return true; }));
    const QFileInfo socket(SingleInstance::defaultServerName());
    QVERIFY2(socket.exists(), qPrintable(socket.filePath()));
    const QFileInfo dir(socket.path());
    QCOMPARE(dir.ownerId(), QFileInfo(QDir::homePath()).ownerId());
    QCOMPARE(dir.permissions() & (QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther
                                  | QFile::WriteOther | QFile::ExeOther),
             QFile::Permissions());
    QVERIFY(instance.otherRunning());
#else
    QSKIP("named pipes, not socket files");
#endif
}

QTEST_MAIN(TestSecurity)
#include "tst_security.moc"
