// The web access settings: shown, checked and written into the record the
// dialog saves; the web service applies them when the record is saved.
#include "ui/dialogs/web_settings_page.h"

#include "core/localisation.h"
#include "core/station_bus.h"
#include "core/system_settings.h"
#include "web/web_service.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace vantoro {

namespace {

QString pageText(const char *key)
{
    const QString k = QString::fromLatin1(key);
    return langText(QStringLiteral("webServer"), k, LANGUAGE_CURRENT, k);
}

} // namespace

WebSettingsPage::WebSettingsPage(QWidget *parent)
    : SettingsPage(parent)
    , m_mode(new QComboBox(this))
    , m_port(new QSpinBox(this))
{
    setObjectName(QStringLiteral("pageWeb"));
    m_mode->setObjectName(QStringLiteral("cmbHttpMode"));
    m_mode->addItems({pageText("optOff"), pageText("optLoopback"), pageText("optAll")});
    m_port->setObjectName(QStringLiteral("txtHttpPort"));
    m_port->setRange(1, 65535);
    // Plain text: a language file's wording is never taken for markup.
    auto *hint = new QLabel(pageText("lblHint"), this);
    hint->setObjectName(QStringLiteral("lblHttpHint"));
    hint->setTextFormat(Qt::PlainText);
    hint->setWordWrap(true);
    m_address = new QLabel(this);
    m_address->setObjectName(QStringLiteral("lblHttpAddress"));
    m_address->setTextFormat(Qt::RichText);
    m_address->setOpenExternalLinks(true);
    m_address->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_address->setWordWrap(true);
    auto *form = new QFormLayout(this);
    form->addRow(pageText("lblMode"), m_mode);
    form->addRow(pageText("lblPort"), m_port);
    form->addRow(m_address);
    form->addRow(hint);
    connect(m_mode, &QComboBox::currentIndexChanged, this,
            [this](int mode) { m_port->setEnabled(mode != WEB_MODE_OFF); });
    // The web service follows a save before this hears of it.
    connect(&stationBus(), &StationBus::settingsSaved, this, [this] {
        showAccess(m_saving);
        m_saving = false;
    });
    connect(&stationBus(), &StationBus::webAccessChanged, this, [this] { showAccess(m_saving); });
    showAccess(false);
}

void WebSettingsPage::showAccess(bool saved)
{
    const WebAccess &access = stationBus().webAccess();
    QStringList links;
    for (const QString &url : access.urls)
        links << QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped());
    QString text;
    if (!links.isEmpty())
        text = pageText(saved ? "msgSavedAddress" : "msgAddressNow").toHtmlEscaped().arg(links.join(QStringLiteral(", ")));
    else if (!access.error.isEmpty())
        text = pageText("msgNotListening").toHtmlEscaped().arg(access.error.toHtmlEscaped());
    else
        text = pageText(saved ? "msgSavedOff" : "msgOffNow").toHtmlEscaped();
    m_address->setText(text);
}

QString WebSettingsPage::title() const
{
    return pageText("Caption");
}

void WebSettingsPage::load()
{
    const int mode = sysSettings.HttpServerEnabled;
    const int port = sysSettings.httpport;
    // A stored value out of range shows as the default, and is saved so.
    m_mode->setCurrentIndex(mode >= WEB_MODE_OFF && mode <= WEB_MODE_ALL ? mode : WEB_MODE_OFF);
    m_port->setValue(port >= 1 && port <= 65535 ? port : WEB_DEFAULT_PORT);
    m_port->setEnabled(m_mode->currentIndex() != WEB_MODE_OFF);
}

QString WebSettingsPage::validate() const
{
    return webSettingsError(m_mode->currentIndex(), m_port->value());
}

bool WebSettingsPage::save()
{
    m_saving = true;
    sysSettings.HttpServerEnabled = m_mode->currentIndex();
    sysSettings.httpport = m_port->value();
    return true;
}

} // namespace vantoro
