// The MQTT settings row and its checks.
#include "mqtt/mqtt_settings.h"

#include "acquisition/param_table.h"
#include "core/database.h"
#include "core/localisation.h"

#include <QFileInfo>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("Mqtt");

// Column order of the select and the insert below.
const char *const kColumns = "enabled, host, port, tls, cafile, username, password, clientid, basetopic, "
                             "discovery, discoveryprefix, manufacturer";

QString text(const QString &key, const char *english)
{
    return langText(kSection, key, LANGUAGE_CURRENT, QString::fromUtf8(english));
}

void readText(const RecordSet &rs, const char *column, QString &target)
{
    const QVariant v = rs.value(0, QString::fromLatin1(column));
    if (!v.isNull())
        target = v.toString();
}

void readNumber(const RecordSet &rs, const char *column, int &target)
{
    bool ok = false;
    const int n = rs.value(0, QString::fromLatin1(column)).toInt(&ok);
    if (ok)
        target = n;
}

void readFlag(const RecordSet &rs, const char *column, bool &target)
{
    int n = target ? 1 : 0;
    readNumber(rs, column, n);
    target = n != 0;
}

} // namespace

QString defaultMqttClientId()
{
    return QStringLiteral("vantoro-") + QString::fromLatin1(PARAM_DEVICE_ID);
}

QString defaultMqttBaseTopic()
{
    // Device 001's topics stay where a station of one device had them.
    return QStringLiteral("vantoro");
}

QString MqttSettings::effectiveClientId() const
{
    return clientId.trimmed().isEmpty() ? defaultMqttClientId() : clientId.trimmed();
}

QString MqttSettings::effectiveBaseTopic() const
{
    return baseTopic.trimmed().isEmpty() ? defaultMqttBaseTopic() : baseTopic.trimmed();
}

bool loadMqttSettings(MqttSettings &settings, QString *error)
{
    settings = MqttSettings();
    const auto rs = rsSqlGet(QStringLiteral("select %1 from mqttset where id = 1").arg(QLatin1String(kColumns)), {}, error);
    if (!rs)
        return false;
    if (rs->recordCount() == 0)
        return true;
    readFlag(*rs, "enabled", settings.enabled);
    readText(*rs, "host", settings.host);
    readNumber(*rs, "port", settings.port);
    readFlag(*rs, "tls", settings.tls);
    readText(*rs, "cafile", settings.caFile);
    readText(*rs, "username", settings.userName);
    readText(*rs, "password", settings.password);
    readText(*rs, "clientid", settings.clientId);
    readText(*rs, "basetopic", settings.baseTopic);
    readFlag(*rs, "discovery", settings.discovery);
    readText(*rs, "discoveryprefix", settings.discoveryPrefix);
    readText(*rs, "manufacturer", settings.manufacturer);
    if (settings.discoveryPrefix.isEmpty())
        settings.discoveryPrefix = MqttSettings().discoveryPrefix;
    if (settings.manufacturer.isEmpty())
        settings.manufacturer = MqttSettings().manufacturer;
    return true;
}

bool saveMqttSettings(const MqttSettings &s, QString *error)
{
    return execSql(QStringLiteral("insert or replace into mqttset (id, %1) values (1, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                       .arg(QLatin1String(kColumns)),
                   {int(s.enabled), s.host, s.port, int(s.tls), s.caFile, s.userName, s.password, s.clientId,
                    s.baseTopic, int(s.discovery), s.discoveryPrefix, s.manufacturer},
                   error);
}

QString mqttTopicProblem(const QString &topic)
{
    if (topic.isEmpty())
        return text(QStringLiteral("errTopicEmpty"), "is empty");
    if (topic.contains(QLatin1Char('+')) || topic.contains(QLatin1Char('#')))
        return text(QStringLiteral("errTopicWildcard"), "must not contain + or #");
    if (topic.startsWith(QLatin1Char('/')))
        return text(QStringLiteral("errTopicLeadingSlash"), "must not start with /");
    if (topic.endsWith(QLatin1Char('/')) || topic.contains(QLatin1String("//")))
        return text(QStringLiteral("errTopicEmptyLevel"), "must not have an empty level");
    return {};
}

QString mqttSettingsProblem(const MqttSettings &s)
{
    const auto named = [](const QString &key, const char *english, const QString &problem) {
        return text(key, english) + QLatin1String(": ") + problem;
    };
    if (s.enabled && s.host.trimmed().isEmpty())
        return named(QStringLiteral("lblHost"), "Broker host", text(QStringLiteral("errRequired"), "is required"));
    if (s.host.trimmed().contains(QLatin1Char(' ')))
        return named(QStringLiteral("lblHost"), "Broker host", text(QStringLiteral("errHostSpaces"), "must not contain spaces"));
    if (s.port < 1 || s.port > 65535)
        return named(QStringLiteral("lblPort"), "Port", text(QStringLiteral("errPortRange"), "must be 1 to 65535"));
    if (s.tls && !s.caFile.isEmpty() && !QFileInfo(s.caFile).isReadable())
        return named(QStringLiteral("lblCaFile"), "CA file", text(QStringLiteral("errFileMissing"), "cannot be read"));
    if (const QString p = mqttTopicProblem(s.effectiveBaseTopic()); !p.isEmpty())
        return named(QStringLiteral("lblBaseTopic"), "Base topic", p);
    if (s.discovery) {
        if (const QString p = mqttTopicProblem(s.discoveryPrefix.trimmed()); !p.isEmpty())
            return named(QStringLiteral("lblPrefix"), "Discovery prefix", p);
    }
    return {};
}

} // namespace vantoro
