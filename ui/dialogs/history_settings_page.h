// The history page of the system settings: sample period and retention.
#pragma once

#include "ui/dialogs/settings_page.h"

class QLineEdit;

namespace vantoro {

class HistorySettingsPage : public SettingsPage
{
public:
    explicit HistorySettingsPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

    QLineEdit *periodField() const { return m_period; }
    QLineEdit *keepField() const { return m_keep; }

private:
    QLineEdit *m_period = nullptr;
    QLineEdit *m_keep = nullptr;
};

} // namespace vantoro
