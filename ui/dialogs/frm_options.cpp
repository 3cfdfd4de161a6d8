// The options dialog.
#include "ui/dialogs/frm_options.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/language.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabBar>
#include <QVBoxLayout>

namespace vantoro {

frmOptions::frmOptions(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("选项"));

    m_tabs = new QTabBar(this);
    m_tabs->setObjectName(QStringLiteral("tbsOptions"));
    for (int i = 1; i <= 4; ++i)
        m_tabs->addTab(formText(QStringLiteral("frmOptions"), QStringLiteral("tab%1").arg(i), QStringLiteral("组 %1").arg(i)));

    auto *pages = new QWidget(this);
    auto *stack = new QStackedLayout(pages);
    stack->setStackingMode(QStackedLayout::StackAll);
    for (int i = 0; i < 4; ++i) {
        auto *page = new QWidget(pages);
        setControlName(page, QStringLiteral("picOptions"), i);
        auto *frame = new QGroupBox(QStringLiteral("示例 %1").arg(i + 1), page);
        frame->setObjectName(QStringLiteral("fraSample%1").arg(i + 1));
        auto *pageLayout = new QVBoxLayout(page);
        pageLayout->addWidget(frame);
        stack->addWidget(page);
        m_pages << page;
    }

    m_cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("确定"), this);
    m_cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("取消"), this);
    m_cmdApply = namedButton(QStringLiteral("cmdApply"), QStringLiteral("应用(&A)"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    buttons->addWidget(m_cmdApply);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);
    resize(400, 300);

    connect(m_tabs, &QTabBar::currentChanged, this, &frmOptions::tabClicked);
    connect(m_cmdOK, &QPushButton::clicked, this, [this] {
        messages().show(stationTitle(), QStringLiteral("此处添加代码，设置选项并关闭对话框！"), MessageIcon::None);
        accept();
    });
    connect(m_cmdApply, &QPushButton::clicked, this, [] {
        messages().show(stationTitle(), QStringLiteral("此处添加代码，设置选项无需关闭对话框！"), MessageIcon::None);
    });
    connect(m_cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    tabClicked();
}

void frmOptions::tabClicked()
{
    // Only the page of the selected tab is shown and takes input.
    for (int i = 0; i < m_pages.size(); ++i) {
        const bool selected = i == m_tabs->currentIndex();
        m_pages[i]->setEnabled(selected);
        m_pages[i]->setVisible(selected);
    }
}

void frmOptions::keyPressEvent(QKeyEvent *event)
{
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const int count = m_tabs->count();
    if (ctrl && count > 0) {
        const bool backwards = event->key() == Qt::Key_Backtab
            || (event->key() == Qt::Key_Tab && (event->modifiers() & Qt::ShiftModifier));
        if (backwards) {
            m_tabs->setCurrentIndex((m_tabs->currentIndex() + count - 1) % count);
            return;
        }
        if (event->key() == Qt::Key_Tab) {
            m_tabs->setCurrentIndex((m_tabs->currentIndex() + 1) % count);
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void frmOptions::showEvent(QShowEvent *event)
{
    applyLanguage(this, sysSettings.languageIndex);
    QDialog::showEvent(event);
}

} // namespace vantoro
