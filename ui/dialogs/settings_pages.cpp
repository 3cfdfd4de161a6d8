// The service pages of the system settings dialog, one line each.
#include "ui/dialogs/settings_page.h"

#include "ui/dialogs/mqtt_settings_page.h"

namespace vantoro {

QList<SettingsPage *> createSettingsPages(QWidget *parent)
{
    QList<SettingsPage *> pages;
    pages << new MqttSettingsPage(parent);
    return pages;
}

} // namespace vantoro
