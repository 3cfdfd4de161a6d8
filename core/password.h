// The operator password: a salted PBKDF2-HMAC-SHA256 hash in the per-user
// value "UserPass", with clear-text values of older installations still read.
#pragma once

#include <QByteArray>
#include <QString>

namespace vantoro {

// Marks a stored value as a hash: "$pbkdf2-sha256$<iterations>$<salt>$<key>",
// salt and key in base64. Anything else is a legacy clear-text password.
inline constexpr const char *PASSWORD_HASH_MARKER = "$pbkdf2-sha256$";
// About half a second per hash here: slow for guessing, quick enough to type.
inline constexpr int PASSWORD_ITERATIONS = 200000;
inline constexpr int PASSWORD_SALT_BYTES = 16;
inline constexpr int PASSWORD_KEY_BYTES = 32;

QByteArray pbkdf2HmacSha256(const QByteArray &password, const QByteArray &salt, int iterations, int keyBytes);

// A new hash of `password` with a fresh random salt.
QString hashPassword(const QString &password, int iterations = PASSWORD_ITERATIONS);
// True when `stored` is a well-formed hash value.
bool isPasswordHash(const QString &stored);
// Compares in constant time: against the hash, or against a legacy clear text.
bool verifyPassword(const QString &password, const QString &stored);

// The per-user store: an absent value is the empty password.
bool checkOperatorPassword(const QString &password);
// False when the per-user store could not be written.
bool storeOperatorPassword(const QString &password, int iterations = PASSWORD_ITERATIONS);
// Replaces a clear-text password left by an older installation with its
// hash, so the clear text stays on disk no longer than until the next start.
// True when it did.
bool hashLegacyOperatorPassword(int iterations = PASSWORD_ITERATIONS);

enum class PasswordChange { Mismatch, WrongOldPassword, Changed, NotStored };
// The change in its order of checks: the repetition first, then the old
// password; only then the new password is stored (as a hash).
PasswordChange changeOperatorPassword(const QString &oldPassword, const QString &newPassword,
                                      const QString &repetition, int iterations = PASSWORD_ITERATIONS);

} // namespace vantoro
