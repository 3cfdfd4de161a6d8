// The running log window.
#include "ui/dialogs/frm_logs.h"

#include "core/system_settings.h"
#include "events/event_log.h"
#include "ui/language.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QVBoxLayout>

namespace vantoro {

namespace {

// The core keeps CR LF line ends; the text box shows plain lines.
QString shownText(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return text;
}

} // namespace

frmLogs::frmLogs(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("frmLogs"));
    setWindowTitle(QStringLiteral("系统日志"));

    m_logs = new QPlainTextEdit(this);
    m_logs->setObjectName(QStringLiteral("logs"));
    m_logs->setReadOnly(true);
    m_logs->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_logs->setPlainText(shownText(runningLogText()));

    m_clear = new QPushButton(QStringLiteral("清空(&C)"), this);
    m_clear->setObjectName(QStringLiteral("Command1"));
    m_exit = new QPushButton(QStringLiteral("关闭(&X)"), this);
    m_exit->setObjectName(QStringLiteral("cmdExit"));
    m_details = new QCheckBox(QStringLiteral("详细信息(&D)"), this);
    m_details->setObjectName(QStringLiteral("chkDetails"));
    m_details->setChecked(runningLogDetails());
    connect(m_details, &QCheckBox::toggled, this, [](bool on) { setRunningLogDetails(on); });

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_details);
    buttons->addStretch();
    buttons->addWidget(m_clear);
    buttons->addWidget(m_exit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_logs, 1);
    layout->addLayout(buttons);

    connect(m_clear, &QPushButton::clicked, this, &frmLogs::clearLogs);
    connect(m_exit, &QPushButton::clicked, this, &QWidget::hide);
    resize(640, 400);
}

void frmLogs::runningLogChanged(const QString &line, bool replaced)
{
    if (replaced) {
        m_logs->setPlainText(shownText(runningLogText()));
    } else {
        // Appending at the end keeps the operator's scroll position unless
        // the view already followed the newest line.
        QScrollBar *bar = m_logs->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        m_logs->appendPlainText(line);
        if (atEnd)
            bar->setValue(bar->maximum());
    }
}

void frmLogs::showLogs()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    // The newest line is what an operator opens the log for.
    m_logs->moveCursor(QTextCursor::End);
    m_logs->ensureCursorVisible();
}

void frmLogs::clearLogs()
{
    clearRunningLog();
    m_logs->clear();
}

void frmLogs::unload()
{
    m_unloading = true;
    close();
}

void frmLogs::closeEvent(QCloseEvent *event)
{
    // The operator's close only hides, so the window keeps collecting lines
    // and shows them all when it is opened again.
    if (!m_unloading && isVisible()) {
        hide();
        event->ignore();
        return;
    }
    event->accept();
}

void frmLogs::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    applyLanguage(this, sysSettings.languageIndex);
}

void frmLogs::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
