// The service pages of the system settings dialog, one line each.
#include "ui/dialogs/settings_page.h"

#include "ui/dialogs/mail_settings_page.h"

namespace vantoro {

QList<SettingsPage *> createSettingsPages(QWidget *parent)
{
    QList<SettingsPage *> pages;
    pages << new MailSettingsPage(parent);
    return pages;
}

} // namespace vantoro
