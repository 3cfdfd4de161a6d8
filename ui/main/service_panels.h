// The status-bar panels that keep the broker's and the mail server's last
// state in view (the running log has the history): fed by the station bus,
// hidden while their service is off.
#pragma once

#include <QObject>

class QLabel;
class QStatusBar;

namespace vantoro {

class ServicePanels : public QObject
{
public:
    explicit ServicePanels(QStatusBar &bar);

    QLabel *mqttPanel() const { return m_mqtt; }
    QLabel *mailPanel() const { return m_mail; }

private:
    void show(const QString &service, const QString &text);

    QLabel *m_mqtt = nullptr;
    QLabel *m_mail = nullptr;
};

} // namespace vantoro
