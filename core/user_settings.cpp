// Per-user values through QSettings, organisation and application "Vantoro",
// group "Settings".
#include "core/user_settings.h"

#include <QSettings>

namespace vantoro {

namespace {

const char *const organisation = "Vantoro";
const char *const application = "Vantoro";
const char *const group = "Settings";

QString portKey(int portNumber) { return QStringLiteral("Ports/Com%1").arg(portNumber); }

QString readValue(const QString &key, const QString &fallback)
{
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, QString::fromLatin1(organisation),
                       QString::fromLatin1(application));
    settings.beginGroup(QString::fromLatin1(group));
    return settings.value(key, fallback).toString();
}

bool writeValue(const QString &key, const QString &text)
{
    QSettings settings(QSettings::defaultFormat(), QSettings::UserScope, QString::fromLatin1(organisation),
                       QString::fromLatin1(application));
    settings.beginGroup(QString::fromLatin1(group));
    settings.setValue(key, text);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

} // namespace

QString userValue(const UserValue &value)
{
    return readValue(QString::fromLatin1(value.key), QString::fromLatin1(value.defaultValue));
}

bool setUserValue(const UserValue &value, const QString &text)
{
    return writeValue(QString::fromLatin1(value.key), text);
}

QString portDeviceName(int portNumber)
{
    const QString mapped = readValue(portKey(portNumber), QString());
    if (!mapped.isEmpty())
        return mapped;
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void setPortDeviceName(int portNumber, const QString &device)
{
    writeValue(portKey(portNumber), device);
}

} // namespace vantoro
