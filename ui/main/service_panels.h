// The status-bar panels that keep the broker's, the mail server's and the
// failing notice channels' last state in view (the running log has the
// history): fed by the station bus, hidden while there is nothing to say.
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
    QLabel *noticesPanel() const { return m_notices; }

private:
    void show(const QString &service, const QString &text);

    QLabel *m_mqtt = nullptr;
    QLabel *m_mail = nullptr;
    QLabel *m_notices = nullptr;
};

} // namespace vantoro
