// Hashing and checking the operator password.
#include "core/password.h"

#include "core/user_settings.h"

#include <QCryptographicHash>
#include <QList>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QtEndian>

namespace vantoro {

namespace {

// Upper bound on a stored iteration count, so a damaged value can't hang
// the dialog.
constexpr int MAX_ITERATIONS = 10'000'000;

struct ParsedHash
{
    int iterations = 0;
    QByteArray salt;
    QByteArray key;
};

bool parseHash(const QString &stored, ParsedHash *parsed)
{
    const QString marker = QString::fromLatin1(PASSWORD_HASH_MARKER);
    if (!stored.startsWith(marker))
        return false;
    const QStringList parts = stored.mid(marker.size()).split(QLatin1Char('$'));
    if (parts.size() != 3)
        return false;
    bool ok = false;
    const int iterations = parts[0].toInt(&ok);
    if (!ok || iterations < 1 || iterations > MAX_ITERATIONS)
        return false;
    const auto salt = QByteArray::fromBase64Encoding(parts[1].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    const auto key = QByteArray::fromBase64Encoding(parts[2].toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!salt || !key || salt.decoded.isEmpty() || key.decoded.isEmpty())
        return false;
    if (parsed)
        *parsed = {iterations, salt.decoded, key.decoded};
    return true;
}

bool equalConstantTime(const QByteArray &a, const QByteArray &b)
{
    // Runs over the longer length whatever the contents, so the time says
    // nothing about where the first difference is.
    const qsizetype n = qMax(a.size(), b.size());
    unsigned difference = unsigned(a.size() ^ b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned x = i < a.size() ? quint8(a[i]) : 0u;
        const unsigned y = i < b.size() ? quint8(b[i]) : 0u;
        difference |= x ^ y;
    }
    return difference == 0;
}

} // namespace

QByteArray pbkdf2HmacSha256(const QByteArray &password, const QByteArray &salt, int iterations, int keyBytes)
{
    QByteArray result;
    if (iterations < 1 || keyBytes < 1)
        return result;
    QMessageAuthenticationCode mac(QCryptographicHash::Sha256, password);
    for (quint32 block = 1; result.size() < keyBytes; ++block) {
        QByteArray counter(4, Qt::Uninitialized);
        qToBigEndian(block, counter.data());
        mac.reset();
        mac.addData(salt);
        mac.addData(counter);
        QByteArray u = mac.result();
        QByteArray t = u;
        for (int i = 1; i < iterations; ++i) {
            mac.reset();
            mac.addData(u);
            u = mac.result();
            for (qsizetype j = 0; j < t.size(); ++j)
                t[j] = char(t[j] ^ u[j]);
        }
        result += t;
    }
    result.truncate(keyBytes);
    return result;
}

QString hashPassword(const QString &password, int iterations)
{
    QByteArray salt(PASSWORD_SALT_BYTES, Qt::Uninitialized);
    QList<quint32> words(PASSWORD_SALT_BYTES / 4);
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    memcpy(salt.data(), words.constData(), size_t(PASSWORD_SALT_BYTES));
    const QByteArray key = pbkdf2HmacSha256(password.toUtf8(), salt, iterations, PASSWORD_KEY_BYTES);
    return QString::fromLatin1(PASSWORD_HASH_MARKER) + QString::number(iterations) + QLatin1Char('$')
        + QString::fromLatin1(salt.toBase64()) + QLatin1Char('$') + QString::fromLatin1(key.toBase64());
}

bool isPasswordHash(const QString &stored)
{
    return parseHash(stored, nullptr);
}

bool verifyPassword(const QString &password, const QString &stored)
{
    ParsedHash hash;
    if (!parseHash(stored, &hash))
        return equalConstantTime(password.toUtf8(), stored.toUtf8());
    const QByteArray key = pbkdf2HmacSha256(password.toUtf8(), hash.salt, hash.iterations, int(hash.key.size()));
    return equalConstantTime(key, hash.key);
}

bool checkOperatorPassword(const QString &password)
{
    return verifyPassword(password, userValue(UserKeys::UserPass));
}

bool storeOperatorPassword(const QString &password, int iterations)
{
    return setUserValue(UserKeys::UserPass, hashPassword(password, iterations));
}

bool hashLegacyOperatorPassword(int iterations)
{
    const QString stored = userValue(UserKeys::UserPass);
    if (stored.isEmpty() || isPasswordHash(stored))
        return false;
    return storeOperatorPassword(stored, iterations);
}

PasswordChange changeOperatorPassword(const QString &oldPassword, const QString &newPassword,
                                      const QString &repetition, int iterations)
{
    if (newPassword != repetition)
        return PasswordChange::Mismatch;
    if (!checkOperatorPassword(oldPassword))
        return PasswordChange::WrongOldPassword;
    if (!storeOperatorPassword(newPassword, iterations))
        return PasswordChange::NotStored;
    return PasswordChange::Changed;
}

} // namespace vantoro
