// The notices settings page.
#include "ui/dialogs/notice_settings_page.h"

#include "core/station_bus.h"

#include "core/localisation.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "notices/apprise_job.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString section = QStringLiteral("pageNotices");

QString text(const char *key)
{
    return langText(section, QString::fromLatin1(key)).trimmed();
}

template <typename W>
W *named(W *widget, const char *name)
{
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

} // namespace

NoticeSettingsPage::NoticeSettingsPage(QWidget *parent)
    : SettingsPage(parent)
{
    setObjectName(QStringLiteral("pageNotices"));
    m_list = named(new QListWidget(this), "lstNoticeUrls");
    m_url = named(new QLineEdit(this), "txtNoticeUrl");
    m_url->setPlaceholderText(QStringLiteral("ntfy://ntfy.sh/my-topic"));
    m_add = named(new QPushButton(text("cmdAddUrl"), this), "cmdAddUrl");
    m_remove = named(new QPushButton(text("cmdRemoveUrl"), this), "cmdRemoveUrl");
    m_test = named(new QPushButton(text("cmdTestNotice"), this), "cmdTestNotice");
    m_answer = named(new QLabel(this), "lblNoticeAnswer");
    m_answer->setWordWrap(true);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(text("lblUrls"), this));
    layout->addWidget(m_list);
    layout->addWidget(new QLabel(text("lblNewUrl"), this));
    auto *row = new QHBoxLayout;
    row->addWidget(m_url, 1);
    row->addWidget(m_add);
    row->addWidget(m_remove);
    layout->addLayout(row);
    layout->addWidget(m_test, 0, Qt::AlignLeft);
    layout->addWidget(m_answer);
    connect(m_add, &QPushButton::clicked, this, &NoticeSettingsPage::addUrl);
    connect(m_url, &QLineEdit::returnPressed, this, &NoticeSettingsPage::addUrl);
    connect(m_remove, &QPushButton::clicked, this, &NoticeSettingsPage::removeUrl);
    connect(m_test, &QPushButton::clicked, this, &NoticeSettingsPage::sendTestNotice);
}

NoticeSettingsPage::~NoticeSettingsPage() = default;

QString NoticeSettingsPage::title() const
{
    return text("Caption");
}

void NoticeSettingsPage::load()
{
    QString error;
    m_channels = storedNoticeChannels(&error);
    m_answer->setText(error);
    showList();
}

void NoticeSettingsPage::showList()
{
    m_list->clear();
    for (const NoticeChannel &c : std::as_const(m_channels))
        m_list->addItem(maskNoticeUrl(c.url));
}

bool NoticeSettingsPage::addUrl()
{
    const QString url = m_url->text().trimmed();
    const QString problem = validateNoticeUrl(url);
    if (!problem.isEmpty()) {
        m_answer->setText(problem);
        return false;
    }
    m_channels << NoticeChannel{0, url, {}};
    m_url->clear();
    m_answer->clear();
    showList();
    m_list->setCurrentRow(int(m_channels.size()) - 1);
    return true;
}

void NoticeSettingsPage::removeUrl()
{
    const int row = m_list->currentRow();
    if (row < 0 || row >= m_channels.size())
        return;
    m_channels.removeAt(row);
    showList();
}

QString NoticeSettingsPage::validate() const
{
    for (const NoticeChannel &c : m_channels) {
        if (const QString problem = validateNoticeUrl(c.url); !problem.isEmpty())
            return problem;
    }
    return QString();
}

bool NoticeSettingsPage::save()
{
    QString error;
    if (!saveNoticeChannels(m_channels, &error)) {
        logStatus(QStringLiteral("Notices: URLs not saved: ") + error);
        m_answer->setText(error);
        return false;
    }
    // The new rows' ids, so a second save keeps their deliveries.
    load();
    return true;
}

void NoticeSettingsPage::sendTestNotice()
{
    QString url = m_url->text().trimmed();
    if (url.isEmpty() && m_list->currentRow() >= 0 && m_list->currentRow() < m_channels.size())
        url = m_channels.at(m_list->currentRow()).url;
    if (url.isEmpty()) {
        m_answer->setText(text("msgNoUrl"));
        return;
    }
    if (const QString problem = validateNoticeUrl(url); !problem.isEmpty()) {
        m_answer->setText(problem);
        return;
    }
    m_test->setEnabled(false);
    m_answer->setText(text("msgTesting"));
    m_job = std::make_unique<AppriseJob>(QString::fromLatin1(APPRISE_PROGRAM), url, text("msgTestTitle"),
                                         text("msgTestBody").arg(stationBus().deviceNames()), APPRISE_TIMEOUT_MS,
                                         [this](const NoticeResult &r) {
                                             m_job.release()->deleteLater();
                                             m_test->setEnabled(true);
                                             m_answer->setText((r.accepted ? text("msgTestOk") : text("msgTestFailed"))
                                                               + QLatin1Char(' ') + r.answer);
                                         });
}

} // namespace vantoro
