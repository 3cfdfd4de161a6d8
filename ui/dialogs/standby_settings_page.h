// The night page of the system settings: the standby share of the rating
// below which the device counts as asleep.
#pragma once

#include "ui/dialogs/settings_page.h"

class QLabel;
class QLineEdit;

namespace vantoro {

class StandbySettingsPage : public SettingsPage
{
public:
    explicit StandbySettingsPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

    QLineEdit *percentField() const { return m_percent; }

private:
    void showWatts();

    QLineEdit *m_percent = nullptr;
    QLabel *m_watts = nullptr;
};

} // namespace vantoro
