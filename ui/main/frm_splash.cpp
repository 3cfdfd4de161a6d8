// Splash window: product name and version.
#include "ui/main/frm_splash.h"

#include "core/system_settings.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QVersionNumber>

namespace vantoro {

frmSplash::frmSplash(QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Vantoro"));
    setStyleSheet(QStringLiteral("QWidget#frmSplash { background: #0f3b5f; } QLabel { color: white; }"));
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(40, 40, 40, 30);
    m_lblProductName = new QLabel(QStringLiteral("Vantoro"), this);
    m_lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont big = m_lblProductName->font();
    big.setPointSize(28);
    big.setBold(true);
    m_lblProductName->setFont(big);
    auto *subtitle = new QLabel(QStringLiteral("光伏逆变器监控站 / PV Inverter Monitoring Station"), this);
    subtitle->setObjectName(QStringLiteral("lblSubtitle"));
    m_lblVersion = new QLabel(this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    layout->addWidget(m_lblProductName);
    layout->addWidget(subtitle);
    layout->addStretch(1);
    layout->addWidget(m_lblVersion, 0, Qt::AlignRight);
    resize(460, 240);

    // Form_Load: title, language, then the version label.
    m_lblProductName->setText(QStringLiteral("Vantoro"));
    applyLanguage(this, sysSettings.languageIndex);
    const QVersionNumber v = QVersionNumber::fromString(QStringLiteral(VANTORO_VERSION));
    m_lblVersion->setText(QStringLiteral("Version %1.%2.%3").arg(v.majorVersion()).arg(v.minorVersion()).arg(v.microVersion()));
    centerForm(this);
}

QString frmSplash::versionText() const
{
    return m_lblVersion->text();
}

} // namespace vantoro
