// The service pages of the system settings dialog, one line each.
#include "ui/dialogs/settings_page.h"

#include "ui/dialogs/history_settings_page.h"
#include "ui/dialogs/web_settings_page.h"

namespace vantoro {

QList<SettingsPage *> createSettingsPages(QWidget *parent)
{
    QList<SettingsPage *> pages;
    pages << new HistorySettingsPage(parent);
    pages << new WebSettingsPage(parent);
    return pages;
}

} // namespace vantoro
