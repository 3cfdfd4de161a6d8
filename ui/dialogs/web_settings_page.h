// The web access page of the system settings dialog: off, this computer only
// or all interfaces, and the port.
#pragma once

#include "ui/dialogs/settings_page.h"

class QComboBox;
class QSpinBox;

namespace vantoro {

class WebSettingsPage : public SettingsPage
{
public:
    explicit WebSettingsPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

private:
    QComboBox *m_mode;
    QSpinBox *m_port;
};

} // namespace vantoro
