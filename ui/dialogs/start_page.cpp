// The "Start" settings page.
#include "ui/dialogs/start_page.h"

#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "core/session_autostart.h"
#include "core/user_settings.h"

#include <QCheckBox>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString section = QStringLiteral("pageStart");

QString text(const char *key, const char *fallback)
{
    return langText(section, QString::fromLatin1(key), LANGUAGE_CURRENT, QString::fromUtf8(fallback));
}

} // namespace

StartPage::StartPage(QWidget *parent)
    : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageStart"));
    m_startWithSession = new QCheckBox(text("chkStartWithSession", "Start with the session"), this);
    m_startWithSession->setObjectName(QStringLiteral("chkStartWithSession"));
    m_autoStartPolling = new QCheckBox(text("chkAutoStartPolling", "Start polling when the station starts"), this);
    m_autoStartPolling->setObjectName(QStringLiteral("chkAutoStartPolling"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_startWithSession);
    layout->addWidget(m_autoStartPolling);
    layout->addStretch();
}

QString StartPage::title() const
{
    return text("Title", "Start");
}

void StartPage::load()
{
    m_startWithSession->setChecked(startsWithSession());
    m_autoStartPolling->setChecked(leadingNumber(userValue(UserKeys::AutoStartPolling)) != 0);
}

bool StartPage::save()
{
    setUserValue(UserKeys::AutoStartPolling, m_autoStartPolling->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    if (m_startWithSession->isChecked() == startsWithSession())
        return true;
    QString error;
    if (setStartWithSession(m_startWithSession->isChecked(), &error))
        return true;
    messages().show(QStringLiteral("Vantoro"), error, MessageIcon::Warning);
    return false;
}

} // namespace vantoro
