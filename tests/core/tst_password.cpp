// The operator password: the key derivation against published vectors, the
// stored hash, legacy clear-text values and the order of the change checks.
#include "core/password.h"
#include "core/user_settings.h"
#include "test_support.h"

#include <QTest>

using namespace vantoro;
using namespace vantoro::test;

namespace {
// The flows are checked with a quick hash; the stored count is what verifies.
constexpr int FAST = 1000;
}

class TestPassword : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { isolateUserSettings(); }
    void init() { setUserValue(UserKeys::UserPass, QString()); }
    void derivationMatchesPublishedVectors_data();
    void derivationMatchesPublishedVectors();
    void hashIsSaltedAndChecked();
    void legacyClearTextIsStillAccepted();
    void freshSystemTakesTheEmptyPassword();
    void changeChecksRepetitionFirstThenOldPassword();
    void changeReplacesLegacyValueByHash();
    void emptyNewPasswordIsStoredAsHash();
};

void TestPassword::derivationMatchesPublishedVectors_data()
{
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QByteArray>("salt");
    QTest::addColumn<int>("iterations");
    QTest::addColumn<QByteArray>("key");
    // PBKDF2-HMAC-SHA256 test vectors of RFC 7914, section 11.
    QTest::newRow("one iteration") << QByteArray("passwd") << QByteArray("salt") << 1
                                   << QByteArray::fromHex("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                                          "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783");
    QTest::newRow("80000 iterations") << QByteArray("Password") << QByteArray("NaCl") << 80000
                                      << QByteArray::fromHex("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
                                                             "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d");
}

void TestPassword::derivationMatchesPublishedVectors()
{
    QFETCH(QByteArray, password);
    QFETCH(QByteArray, salt);
    QFETCH(int, iterations);
    QFETCH(QByteArray, key);
    QCOMPARE(pbkdf2HmacSha256(password, salt, iterations, int(key.size())).toHex(), key.toHex());
}

void TestPassword::hashIsSaltedAndChecked()
{
    const QString first = hashPassword(QStringLiteral("Secret-1"), 1000);
    const QString second = hashPassword(QStringLiteral("Secret-1"), 1000);
    QVERIFY(first.startsWith(QLatin1String(PASSWORD_HASH_MARKER)));
    QVERIFY(isPasswordHash(first));
    QVERIFY(!first.contains(QLatin1String("Secret")));
    QVERIFY2(first != second, "each hash takes its own salt");
    QVERIFY(verifyPassword(QStringLiteral("Secret-1"), first));
    QVERIFY(verifyPassword(QStringLiteral("Secret-1"), second));
    QVERIFY(!verifyPassword(QStringLiteral("secret-1"), first));
    QVERIFY(!verifyPassword(QStringLiteral("Secret-1 "), first));
    QVERIFY(!verifyPassword(QString(), first));
    QVERIFY(!verifyPassword(QStringLiteral("Secret-1"), hashPassword(QStringLiteral("Secret-1"), 1001)
                                                           .replace(QStringLiteral("$1001$"), QStringLiteral("$1000$"))));
    // By default the station's slow count is stored.
    storeOperatorPassword(QStringLiteral("x"));
    QVERIFY(userValue(UserKeys::UserPass).startsWith(QStringLiteral("$pbkdf2-sha256$%1$").arg(PASSWORD_ITERATIONS)));
    QVERIFY(checkOperatorPassword(QStringLiteral("x")));
}

void TestPassword::legacyClearTextIsStillAccepted()
{
    QVERIFY(verifyPassword(QStringLiteral("abc"), QStringLiteral("abc")));
    QVERIFY(!verifyPassword(QStringLiteral("ABC"), QStringLiteral("abc")));
    QVERIFY(!verifyPassword(QStringLiteral("ab"), QStringLiteral("abc")));
    // A value that only looks like a hash is somebody's clear-text password.
    const QString odd = QStringLiteral("$pbkdf2-sha256$many$x$y");
    QVERIFY(!isPasswordHash(odd));
    QVERIFY(verifyPassword(odd, odd));
    setUserValue(UserKeys::UserPass, QStringLiteral("old pass"));
    QVERIFY(checkOperatorPassword(QStringLiteral("old pass")));
    QVERIFY(!checkOperatorPassword(QStringLiteral("Old pass")));
}

void TestPassword::freshSystemTakesTheEmptyPassword()
{
    QVERIFY(checkOperatorPassword(QString()));
    QVERIFY(!checkOperatorPassword(QStringLiteral(" ")));
}

void TestPassword::changeChecksRepetitionFirstThenOldPassword()
{
    setUserValue(UserKeys::UserPass, QStringLiteral("right"));
    // A wrong old password too, yet the repetition is reported.
    QCOMPARE(changeOperatorPassword(QStringLiteral("wrong"), QStringLiteral("New"), QStringLiteral("new")),
             PasswordChange::Mismatch);
    QCOMPARE(changeOperatorPassword(QStringLiteral("Right"), QStringLiteral("new"), QStringLiteral("new")),
             PasswordChange::WrongOldPassword);
    QCOMPARE(userValue(UserKeys::UserPass), QStringLiteral("right"));
    QCOMPARE(changeOperatorPassword(QStringLiteral("right"), QStringLiteral("new"), QStringLiteral("new"), FAST),
             PasswordChange::Changed);
    QVERIFY(checkOperatorPassword(QStringLiteral("new")));
    QVERIFY(!checkOperatorPassword(QStringLiteral("right")));
}

void TestPassword::changeReplacesLegacyValueByHash()
{
    QCOMPARE(changeOperatorPassword(QString(), QStringLiteral("Pass"), QStringLiteral("Pass"), FAST),
             PasswordChange::Changed);
    const QString stored = userValue(UserKeys::UserPass);
    QVERIFY(isPasswordHash(stored));
    QVERIFY(!stored.contains(QLatin1String("Pass")));
    QVERIFY(checkOperatorPassword(QStringLiteral("Pass")));
}

void TestPassword::emptyNewPasswordIsStoredAsHash()
{
    setUserValue(UserKeys::UserPass, QStringLiteral("abc"));
    QCOMPARE(changeOperatorPassword(QStringLiteral("abc"), QString(), QString(), FAST), PasswordChange::Changed);
    QVERIFY(isPasswordHash(userValue(UserKeys::UserPass)));
    QVERIFY(checkOperatorPassword(QString()));
    QVERIFY(!checkOperatorPassword(QStringLiteral("abc")));
}

QTEST_GUILESS_MAIN(TestPassword)
#include "tst_password.moc"
