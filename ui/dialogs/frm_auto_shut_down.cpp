// The shutdown countdown dialog.
#include "ui/dialogs/frm_auto_shut_down.h"

#include "core/common.h"
#include "core/system_settings.h"
#include "events/auto_shutdown.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantoro {

namespace {

constexpr int COUNTDOWN_TICK_MS = 1000;
constexpr int SHUTDOWN_NOW = 0;
constexpr int CANCEL = 1;

} // namespace

frmAutoShutDown::frmAutoShutDown(QWidget *owner, std::function<void()> shutdown)
    : QDialog(owner)
    , m_shutdown(shutdown ? std::move(shutdown) : std::function<void()>(shutdownWindows))
{
    setObjectName(QStringLiteral("frmAutoShutDown"));
    setWindowTitle(QStringLiteral("关机"));
    iSecsRemained = SHUTDOWN_COUNTDOWN_SECONDS;

    m_label2 = namedLabel(QStringLiteral("Label2"), QString::number(iSecsRemained), this);
    QFont big = m_label2->font();
    big.setPointSize(big.pointSize() * 3);
    big.setBold(true);
    m_label2->setFont(big);
    m_label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_label3 = namedLabel(QStringLiteral("Label3"), QStringLiteral("秒后"), this);
    m_cmdok << namedButton(QStringLiteral("cmdok"), QStringLiteral("立即关闭"), this, SHUTDOWN_NOW)
            << namedButton(QStringLiteral("cmdok"), QStringLiteral("取消"), this, CANCEL);
    // Enter must never power the computer off by accident.
    m_cmdok.at(CANCEL)->setDefault(true);
    for (int i = 0; i < m_cmdok.size(); ++i)
        connect(m_cmdok.at(i), &QPushButton::clicked, this, [this, i] { cmdokClick(i); });

    auto *count = new QHBoxLayout;
    count->addWidget(m_label2);
    count->addWidget(m_label3);
    count->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdok.at(SHUTDOWN_NOW));
    buttons->addWidget(m_cmdok.at(CANCEL));
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(count);
    layout->addLayout(buttons);

    m_timer1.setInterval(COUNTDOWN_TICK_MS);
    connect(&m_timer1, &QTimer::timeout, this, &frmAutoShutDown::timer1Timer);
    m_timer1.start();
}

frmAutoShutDown *frmAutoShutDown::showAutoShutDown(QWidget *owner)
{
    static QPointer<frmAutoShutDown> dialog;
    if (!dialog) {
        dialog = new frmAutoShutDown(owner);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(dialog);
    return dialog;
}

QPushButton *frmAutoShutDown::cmdok(int index) const
{
    return m_cmdok.value(index);
}

void frmAutoShutDown::timer1Timer()
{
    m_label2->setText(QString::number(iSecsRemained));
    // The timer keeps running: every further tick starts the shutdown again
    // until the program has ended.
    if (iSecsRemained < 1) {
        m_shutdown();
        // A shutdown that could not start was reported once; repeating it
        // every second would only fill the event log.
        if (!quitRequested)
            m_timer1.stop();
    } else
        --iSecsRemained;
}

void frmAutoShutDown::cmdokClick(int index)
{
    m_timer1.stop();
    if (index == SHUTDOWN_NOW)
        m_shutdown();
    else
        close();
}

void frmAutoShutDown::reject()
{
    // Escape and the close box cancel like the cancel button.
    m_timer1.stop();
    QDialog::reject();
}

void frmAutoShutDown::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!m_activated) {
        m_activated = true;
        m_cmdok.at(CANCEL)->setFocus();
    }
    applyLanguage(this, sysSettings.languageIndex);
}

void frmAutoShutDown::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
}

} // namespace vantoro
