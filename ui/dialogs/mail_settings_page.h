// The mail page of the system settings dialog: server, recipients, sender,
// login and security, a test mail that shows the server's answer, and the
// daily summary's time and whether it goes by mail and as a notice.
#pragma once

#include "ui/dialogs/settings_page.h"

#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace vantoro {

class SmtpJob;
struct MailSettingsText;
struct SummarySettingsText;

class MailSettingsPage : public SettingsPage
{
public:
    explicit MailSettingsPage(QWidget *parent = nullptr);
    ~MailSettingsPage() override;

    QString title() const override;
    void load() override;
    QString validate() const override;
    bool save() override;

    // Sends a test mail with the fields as they are now (saved or not).
    void sendTestMail();
    QLabel *answerLabel() const { return m_answer; }

private:
    MailSettingsText fields() const;
    SummarySettingsText summaryFields() const;

    QCheckBox *m_enabled = nullptr;
    QLineEdit *m_server = nullptr;
    QComboBox *m_security = nullptr;
    QLineEdit *m_recipients = nullptr;
    QLineEdit *m_sender = nullptr;
    QLineEdit *m_user = nullptr;
    QLineEdit *m_password = nullptr;
    QPushButton *m_test = nullptr;
    QLabel *m_answer = nullptr;
    QLineEdit *m_summaryTime = nullptr;
    QCheckBox *m_summaryMail = nullptr;
    QCheckBox *m_summaryNotice = nullptr;
    std::unique_ptr<SmtpJob> m_job;
};

} // namespace vantoro
