// The MQTT page of the system settings dialog.
#pragma once

#include "mqtt/mqtt_settings.h"
#include "ui/dialogs/settings_page.h"

class QCheckBox;
class QLineEdit;
class QSpinBox;

namespace vantoro {

class MqttSettingsPage : public SettingsPage
{
public:
    explicit MqttSettingsPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

private:
    MqttSettings fields() const;
    void tlsToggled(bool on);
    void chooseCaFile();

    QCheckBox *m_enabled = nullptr;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QCheckBox *m_tls = nullptr;
    QLineEdit *m_caFile = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QLineEdit *m_clientId = nullptr;
    QLineEdit *m_baseTopic = nullptr;
    QCheckBox *m_discovery = nullptr;
    QLineEdit *m_prefix = nullptr;
    QLineEdit *m_manufacturer = nullptr;
};

} // namespace vantoro
