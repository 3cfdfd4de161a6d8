// Reading and writing profile (INI) files with the semantics of the Windows
// profile functions: sections and keys without regard to case, trimmed values
// of at most 1023 bytes, defaults for anything missing.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantoro {

inline constexpr int INI_VALUE_BUFFER = 1024; // bytes, NUL included

// Decodes profile-file bytes: UTF-8 after a byte-order mark, GBK otherwise.
QString decodeProfileText(const QByteArray &bytes);

// Looks a key up in profile text; `found` tells whether section and key exist.
QString profileValue(const QString &text, const QString &section, const QString &key, bool *found = nullptr);

QString readIni(const QString &section, const QString &key, const QString &defaultValue, const QString &file);
// The same, nullopt when the file cannot be read.
std::optional<QString> readIniIfReadable(const QString &section, const QString &key, const QString &defaultValue,
                                         const QString &file);
bool writeIni(const QString &section, const QString &key, const QString &value, const QString &file);

} // namespace vantoro
