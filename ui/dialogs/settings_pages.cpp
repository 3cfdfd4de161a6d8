// The service pages of the system settings dialog, one line each.
#include "ui/dialogs/settings_page.h"

#include "ui/dialogs/devices_settings_page.h"
#include "ui/dialogs/history_settings_page.h"
#include "ui/dialogs/web_settings_page.h"
#include "ui/dialogs/start_page.h"
#include "ui/dialogs/mqtt_settings_page.h"
#include "ui/dialogs/mail_settings_page.h"
#include "ui/dialogs/notice_settings_page.h"
#include "ui/dialogs/standby_settings_page.h"

namespace vantoro {

QList<SettingsPage *> createSettingsPages(QWidget *parent)
{
    QList<SettingsPage *> pages;
    pages << new DevicesSettingsPage(parent);
    pages << new HistorySettingsPage(parent);
    pages << new WebSettingsPage(parent);
    pages << new StartPage(parent);
    pages << new MqttSettingsPage(parent);
    pages << new MailSettingsPage(parent);
    pages << new NoticeSettingsPage(parent);
    pages << new StandbySettingsPage(parent);
    return pages;
}

} // namespace vantoro
