// The service pages of the system settings dialog, one line each.
#include "ui/dialogs/settings_page.h"

namespace vantoro {

QList<SettingsPage *> createSettingsPages(QWidget *parent)
{
    Q_UNUSED(parent);
    QList<SettingsPage *> pages;
    return pages;
}

} // namespace vantoro
