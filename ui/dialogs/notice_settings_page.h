// The notices page of the system settings dialog: the list of notification
// URLs (masked once added), and a test notice that shows Apprise's answer.
#pragma once

#include "notices/notice_channels.h"
#include "ui/dialogs/settings_page.h"

#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace vantoro {

class AppriseJob;

class NoticeSettingsPage : public SettingsPage
{
public:
    explicit NoticeSettingsPage(QWidget *parent = nullptr);
    ~NoticeSettingsPage() override;

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

    // Adds the URL in the edit field to the list; false with the reason
    // shown when it is not a URL.
    bool addUrl();
    void removeUrl();
    // Sends a test notice to the URL in the edit field, else to the one
    // selected in the list (saved or not).
    void sendTestNotice();
    QLabel *answerLabel() const { return m_answer; }

private:
    void showList();

    QList<NoticeChannel> m_channels;
    QListWidget *m_list = nullptr;
    QLineEdit *m_url = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_answer = nullptr;
    std::unique_ptr<AppriseJob> m_job;
};

} // namespace vantoro
