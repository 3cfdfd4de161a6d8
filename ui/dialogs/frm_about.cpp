// The about box.
#include "ui/dialogs/frm_about.h"

#include "core/localisation.h"
#include "core/process_starter.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

namespace vantoro {

frmAbout::frmAbout(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("关于 Vantoro"));

    const QString started = sysSettings.startDate.isValid() ? sysSettings.startDate.toString(QStringLiteral("yyyy-MM-dd"))
                                                            : QString();
    m_lblTitle = namedLabel(QStringLiteral("lblTitle"), stationTitle(), this);
    // The date alone read as a build or release date: it is this run's start.
    m_lblStarted = namedLabel(QStringLiteral("lblStarted"),
                              started.isEmpty() ? QString()
                                                : formText(QStringLiteral("frmAbout"), QStringLiteral("msgStarted"),
                                                           QStringLiteral("本次运行开始于 %1"))
                                                      .arg(started),
                              this);
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSize(titleFont.pointSize() * 2);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);
    m_lblVersion = namedLabel(QStringLiteral("lblVersion"),
                              localText(QStringLiteral("版本 "), QStringLiteral("Version ")) + QStringLiteral(VANTORO_VERSION),
                              this);
    m_lblDescription = namedLabel(QStringLiteral("lblDescription"), QStringLiteral("光伏逆变器监控站"), this);
    m_lblDisclaimer = namedLabel(QStringLiteral("lblDisclaimer"),
                                 QStringLiteral("本软件受著作权法保护，未经许可不得复制或传播。"), this);
    m_lblDisclaimer->setWordWrap(true);
    m_cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("确定"), this);
    m_cmdOK->setDefault(true);
    m_cmdSysInfo = namedButton(QStringLiteral("cmdSysInfo"), QStringLiteral("系统信息(&S)..."), this);
    m_tool = systemInfoTool();
    // A button that can do nothing is not offered.
    m_cmdSysInfo->setVisible(!m_tool.isEmpty());

    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    buttons->addStretch();
    auto *texts = new QVBoxLayout;
    texts->addWidget(m_lblTitle);
    texts->addWidget(m_lblVersion);
    texts->addWidget(m_lblStarted);
    texts->addWidget(m_lblDescription);
    texts->addStretch();
    auto *top = new QHBoxLayout;
    top->addLayout(texts, 1);
    top->addLayout(buttons);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addSpacing(8);
    layout->addWidget(m_lblDisclaimer);
    // The wrapped notice needs its height for the dialog's width.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(460);

    connect(m_cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfoClick);
    m_timerBlink.setInterval(ABOUT_BLINK_MS);
    connect(&m_timerBlink, &QTimer::timeout, this, &frmAbout::blink);
    m_timerBlink.start();
    m_timerClose.setSingleShot(true);
    m_timerClose.setInterval(ABOUT_CLOSE_AFTER_MS);
    connect(&m_timerClose, &QTimer::timeout, this, &QDialog::accept);
    m_timerClose.start();
}

void frmAbout::showAbout(QWidget *owner)
{
    auto *about = new frmAbout(owner);
    about->setAttribute(Qt::WA_DeleteOnClose);
    showForm(about, owner, true);
}

QString frmAbout::systemInfoTool()
{
#ifdef Q_OS_WIN
    return QStandardPaths::findExecutable(QStringLiteral("msinfo32"));
#else
    for (const char *name : {"hardinfo2", "hardinfo", "kinfocenter", "gnome-system-monitor"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
#endif
}

void frmAbout::cmdSysInfoClick()
{
    if (m_tool.isEmpty() || !startDetachedProcess(m_tool, {}))
        logStatus(QStringLiteral("*System information tool not started."));
}

void frmAbout::blink()
{
    m_noticeLit = !m_noticeLit;
    m_lblDisclaimer->setStyleSheet(m_noticeLit ? QStringLiteral("color: red;") : QString());
}

void frmAbout::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    applyLanguage(this, sysSettings.languageIndex);
}

void frmAbout::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
