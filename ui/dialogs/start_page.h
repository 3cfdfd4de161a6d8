// The "Start" page of the system settings: whether the station starts with
// the user's session and whether it polls from its start. Both belong to
// the person at this desk, so they are per-user, not in the database.
#pragma once

#include "ui/dialogs/settings_page.h"

class QCheckBox;

namespace vantoro {

class StartPage : public SettingsPage
{
public:
    explicit StartPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override { return {}; }
    bool save() override;

    QCheckBox *chkStartWithSession() const { return m_startWithSession; }
    QCheckBox *chkAutoStartPolling() const { return m_autoStartPolling; }

private:
    QCheckBox *m_startWithSession = nullptr;
    QCheckBox *m_autoStartPolling = nullptr;
};

} // namespace vantoro
