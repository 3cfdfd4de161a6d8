// The web access page of the system settings dialog: off, this computer only
// or all interfaces, and the port.
#pragma once

#include "ui/dialogs/settings_page.h"

class QComboBox;
class QLabel;
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

    QLabel *addressLabel() const { return m_address; }

private:
    // Where the page is served now; `saved` after a Save, as its confirmation.
    void showAccess(bool saved);

    QComboBox *m_mode;
    QSpinBox *m_port;
    QLabel *m_address;
    bool m_saving = false;
};

} // namespace vantoro
