// Broker, mail server and notice channel panels of the main window's status bar.
#include "ui/main/service_panels.h"

#include "core/station_bus.h"

#include <QLabel>
#include <QStatusBar>

namespace vantoro {

namespace {

// Wide enough for "MQTT: connected to host:port"; the rest is in the tip.
constexpr int PANEL_MAX_WIDTH = 280;

QLabel *addPanel(QStatusBar &bar, const char *name)
{
    auto *label = new QLabel(&bar);
    label->setObjectName(QLatin1String(name));
    label->setContentsMargins(4, 0, 4, 0);
    label->setMaximumWidth(PANEL_MAX_WIDTH);
    label->hide();
    bar.addPermanentWidget(label);
    return label;
}

} // namespace

ServicePanels::ServicePanels(QStatusBar &bar)
    : QObject(&bar)
    , m_mqtt(addPanel(bar, "panel_mqtt"))
    , m_mail(addPanel(bar, "panel_mail"))
    , m_notices(addPanel(bar, "panel_notices"))
{
    StationBus &bus = stationBus();
    connect(&bus, &StationBus::serviceStateChanged, this, &ServicePanels::show);
    for (const QString &service : {QStringLiteral("mqtt"), QStringLiteral("mail"), QStringLiteral("notices")})
        show(service, bus.serviceState(service));
}

void ServicePanels::show(const QString &service, const QString &text)
{
    QLabel *panel = service == QLatin1String("mqtt") ? m_mqtt
        : service == QLatin1String("mail")            ? m_mail
        : service == QLatin1String("notices")         ? m_notices
                                                      : nullptr;
    if (!panel)
        return;
    const QString shown = panel->fontMetrics().elidedText(text, Qt::ElideRight, PANEL_MAX_WIDTH - 8);
    if (panel->text() != shown)
        panel->setText(shown);
    panel->setToolTip(text);
    panel->setVisible(!text.isEmpty());
}

} // namespace vantoro
