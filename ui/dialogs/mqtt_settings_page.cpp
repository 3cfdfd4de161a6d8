// The MQTT page: broker, credentials, topics and discovery; the checks are
// the core's, so the dialog and the service agree on what is acceptable.
#include "ui/dialogs/mqtt_settings_page.h"

#include "core/localisation.h"
#include "core/message_service.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

namespace vantoro {

namespace {

QString text(const char *key, const char *english)
{
    return langText(QStringLiteral("Mqtt"), QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(english));
}

template<typename Control>
Control *named(Control *control, const char *name)
{
    control->setObjectName(QString::fromLatin1(name));
    return control;
}

} // namespace

MqttSettingsPage::MqttSettingsPage(QWidget *parent)
    : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageMqtt"));
    m_enabled = named(new QCheckBox(text("chkEnabled", "Publish to an MQTT broker"), this), "chkMqttEnabled");
    m_host = named(new QLineEdit(this), "txtMqttHost");
    m_port = named(new QSpinBox(this), "spnMqttPort");
    m_port->setRange(1, 65535);
    m_tls = named(new QCheckBox(text("chkTls", "Encrypted (TLS)"), this), "chkMqttTls");
    m_caFile = named(new QLineEdit(this), "txtMqttCaFile");
    m_caFile->setPlaceholderText(text("phCaFile", "system certificates"));
    auto *browse = named(new QPushButton(QStringLiteral("..."), this), "cmdMqttCaFile");
    m_user = named(new QLineEdit(this), "txtMqttUser");
    m_password = named(new QLineEdit(this), "txtMqttPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_clientId = named(new QLineEdit(this), "txtMqttClientId");
    m_clientId->setPlaceholderText(defaultMqttClientId());
    m_baseTopic = named(new QLineEdit(this), "txtMqttBaseTopic");
    m_baseTopic->setPlaceholderText(defaultMqttBaseTopic());
    m_discovery = named(new QCheckBox(text("chkDiscovery", "Home Assistant discovery"), this), "chkMqttDiscovery");
    m_prefix = named(new QLineEdit(this), "txtMqttPrefix");
    m_manufacturer = named(new QLineEdit(this), "txtMqttManufacturer");

    auto *caRow = new QHBoxLayout;
    caRow->addWidget(m_caFile);
    caRow->addWidget(browse);
    auto *form = new QFormLayout(this);
    form->addRow(m_enabled);
    form->addRow(text("lblHost", "Broker host"), m_host);
    form->addRow(text("lblPort", "Port"), m_port);
    form->addRow(m_tls);
    form->addRow(text("lblCaFile", "CA file"), caRow);
    form->addRow(text("lblUser", "User name"), m_user);
    form->addRow(text("lblPassword", "Password"), m_password);
    form->addRow(text("lblClientId", "Client id"), m_clientId);
    form->addRow(text("lblBaseTopic", "Base topic"), m_baseTopic);
    form->addRow(m_discovery);
    form->addRow(text("lblPrefix", "Discovery prefix"), m_prefix);
    form->addRow(text("lblManufacturer", "Manufacturer"), m_manufacturer);

    connect(m_tls, &QCheckBox::toggled, this, &MqttSettingsPage::tlsToggled);
    connect(browse, &QPushButton::clicked, this, &MqttSettingsPage::chooseCaFile);
    connect(m_discovery, &QCheckBox::toggled, m_prefix, &QWidget::setEnabled);
}

QString MqttSettingsPage::title() const
{
    return text("tabMqtt", "MQTT");
}

void MqttSettingsPage::load()
{
    MqttSettings s;
    QString error;
    if (!loadMqttSettings(s, &error))
        messages().show(title(), error, MessageIcon::Warning);
    m_enabled->setChecked(s.enabled);
    m_host->setText(s.host);
    m_port->setValue(s.port);
    {
        const QSignalBlocker keepPort(m_tls);
        m_tls->setChecked(s.tls);
    }
    m_caFile->setText(s.caFile);
    m_user->setText(s.userName);
    m_password->setText(s.password);
    m_clientId->setText(s.clientId);
    m_baseTopic->setText(s.baseTopic);
    m_discovery->setChecked(s.discovery);
    m_prefix->setText(s.discoveryPrefix);
    m_prefix->setEnabled(s.discovery);
    m_manufacturer->setText(s.manufacturer);
}

MqttSettings MqttSettingsPage::fields() const
{
    MqttSettings s;
    s.enabled = m_enabled->isChecked();
    s.host = m_host->text().trimmed();
    s.port = m_port->value();
    s.tls = m_tls->isChecked();
    s.caFile = m_caFile->text().trimmed();
    s.userName = m_user->text();
    s.password = m_password->text();
    s.clientId = m_clientId->text().trimmed();
    s.baseTopic = m_baseTopic->text().trimmed();
    s.discovery = m_discovery->isChecked();
    s.discoveryPrefix = m_prefix->text().trimmed();
    s.manufacturer = m_manufacturer->text().trimmed();
    if (s.manufacturer.isEmpty())
        s.manufacturer = MqttSettings().manufacturer;
    return s;
}

QString MqttSettingsPage::validate() const
{
    return mqttSettingsProblem(fields());
}

bool MqttSettingsPage::save()
{
    QString error;
    if (saveMqttSettings(fields(), &error))
        return true;
    messages().show(title(), error, MessageIcon::Warning);
    return false;
}

void MqttSettingsPage::tlsToggled(bool on)
{
    // The ports brokers use by convention follow the switch unless changed.
    if (on && m_port->value() == MQTT_DEFAULT_PORT)
        m_port->setValue(MQTT_DEFAULT_TLS_PORT);
    else if (!on && m_port->value() == MQTT_DEFAULT_TLS_PORT)
        m_port->setValue(MQTT_DEFAULT_PORT);
}

void MqttSettingsPage::chooseCaFile()
{
    const QString file = QFileDialog::getOpenFileName(this, text("lblCaFile", "CA file"), m_caFile->text(),
                                                      text("filterCerts", "Certificates (*.crt *.pem);;All files (*)"));
    if (!file.isEmpty())
        m_caFile->setText(file);
}

} // namespace vantoro
