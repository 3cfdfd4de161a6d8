// The mail settings page.
#include "ui/dialogs/mail_settings_page.h"

#include "core/station_bus.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "mail/mail_settings.h"
#include "mail/smtp_job.h"
#include "summary/summary_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace vantoro {

namespace {

const QString section = QStringLiteral("pageMail");

QString text(const char *key)
{
    return langText(section, QString::fromLatin1(key));
}

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

MailSettingsPage::MailSettingsPage(QWidget *parent)
    : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageMail"));
    m_enabled = named(new QCheckBox(text("chkMailEnabled"), this), "chkMailEnabled");
    m_server = named(new QLineEdit(this), "txtMailServer");
    m_security = named(new QComboBox(this), "cmbMailSecurity");
    m_security->addItems({text("securityNone"), text("securityStartTls"), text("securityTls")});
    m_recipients = named(new QLineEdit(this), "txtMailRecipients");
    m_sender = named(new QLineEdit(this), "txtMailSender");
    m_user = named(new QLineEdit(this), "txtMailUser");
    m_password = named(new QLineEdit(this), "txtMailPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_test = named(new QPushButton(text("cmdTestMail"), this), "cmdTestMail");
    m_answer = named(new QLabel(this), "lblMailAnswer");
    m_answer->setWordWrap(true);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *form = new QFormLayout(this);
    form->addRow(m_enabled);
    form->addRow(text("lblServer"), m_server);
    form->addRow(text("lblSecurity"), m_security);
    form->addRow(text("lblRecipients"), m_recipients);
    form->addRow(text("lblSender"), m_sender);
    form->addRow(text("lblUser"), m_user);
    form->addRow(text("lblPassword"), m_password);
    form->addRow(m_test);
    form->addRow(m_answer);

    auto *summary = named(new QGroupBox(text("fraSummary"), this), "fraSummary");
    m_summaryTime = named(new QLineEdit(summary), "txtSummaryTime");
    m_summaryTime->setPlaceholderText(QStringLiteral("21:00"));
    m_summaryTime->setMaxLength(5);
    m_summaryMail = named(new QCheckBox(text("chkSummaryMail"), summary), "chkSummaryMail");
    m_summaryNotice = named(new QCheckBox(text("chkSummaryNotice"), summary), "chkSummaryNotice");
    auto *summaryForm = new QFormLayout(summary);
    summaryForm->addRow(text("lblSummaryTime"), m_summaryTime);
    summaryForm->addRow(m_summaryMail);
    summaryForm->addRow(m_summaryNotice);
    form->addRow(summary);
    connect(m_test, &QPushButton::clicked, this, &MailSettingsPage::sendTestMail);
}

MailSettingsPage::~MailSettingsPage() = default;

QString MailSettingsPage::title() const
{
    return text("Caption");
}

void MailSettingsPage::load()
{
    const MailSettingsText s = storedMailSettings();
    m_enabled->setChecked(s.enabled);
    m_server->setText(s.server);
    m_security->setCurrentIndex(qBound(MAIL_SECURITY_NONE, s.security, MAIL_SECURITY_TLS));
    m_recipients->setText(s.recipients);
    m_sender->setText(s.sender);
    m_user->setText(s.user);
    m_password->setText(s.password);
    const SummarySettingsText summary = storedSummarySettings();
    m_summaryTime->setText(summary.time);
    m_summaryMail->setChecked(summary.byMail);
    m_summaryNotice->setChecked(summary.byNotice);
}

SummarySettingsText MailSettingsPage::summaryFields() const
{
    return {m_summaryTime->text().trimmed(), m_summaryMail->isChecked(), m_summaryNotice->isChecked()};
}

MailSettingsText MailSettingsPage::fields() const
{
    return {m_enabled->isChecked(), m_server->text().trimmed(), m_recipients->text().trimmed(),
            m_sender->text().trimmed(), m_user->text().trimmed(), m_password->text(), m_security->currentIndex()};
}

QString MailSettingsPage::validate() const
{
    const QString problem = validateMailSettings(fields());
    return problem.isEmpty() ? validateSummarySettings(summaryFields(), fields()) : problem;
}

bool MailSettingsPage::save()
{
    const MailSettingsText f = fields();
    SystemSettings &s = sysSettings;
    s.MailEnabled = f.enabled ? 1 : 0;
    s.MailServeraddr = f.server;
    s.MailAddr = f.recipients;
    s.MailSender = f.sender;
    s.MailUser = f.user;
    s.MailPassword = f.password;
    s.MailSecurity = f.security;
    const SummarySettingsText summary = summaryFields();
    s.SummaryTime = summary.time;
    s.SummaryMail = summary.byMail ? 1 : 0;
    s.SummaryNotice = summary.byNotice ? 1 : 0;
    return true;
}

void MailSettingsPage::sendTestMail()
{
    MailSettingsText f = fields();
    // The test is for the server, whether or not alerts are switched on.
    f.enabled = true;
    const QString problem = validateMailSettings(f);
    if (!problem.isEmpty()) {
        m_answer->setText(problem);
        return;
    }
    const SmtpConfig config = smtpConfigFrom(f);
    const QString body = text("msgTestBody").arg(stationBus().deviceNames()) + QStringLiteral("\r\n");
    m_test->setEnabled(false);
    m_answer->setText(text("msgTesting"));
    m_job = std::make_unique<SmtpJob>(config, composeStationMail(config, text("msgTestSubject"), body), [this](const SmtpResult &r) {
        m_job.release()->deleteLater();
        m_test->setEnabled(true);
        m_answer->setText((r.accepted ? text("msgTestOk") : text("msgTestFailed")) + r.answer);
    });
}

} // namespace vantoro
