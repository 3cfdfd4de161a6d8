// The customer information dialog.
#include "ui/dialogs/frm_set_user.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "events/event_log.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmSetUser");

} // namespace

frmSetUser::frmSetUser(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("客户信息"));

    auto *frame = new QGroupBox(QStringLiteral(" 用户信息 "), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    auto *grid = new QGridLayout(frame);
    const char *const captions[] = {"用户名称", "用户全称", "电话", "移动电话", "电子邮件"};
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(namedLabel(QStringLiteral("Label1"), QString::fromUtf8(captions[i]), frame, i), i, 0);
        // Plain text: there is nothing to choose from.
        auto *field = new QLineEdit(frame);
        field->setObjectName(QStringLiteral("cmbSets"));
        field->setProperty("index", i);
        field->setMinimumWidth(220);
        grid->addWidget(field, i, 1);
        m_cmbSets << field;
    }
    m_cmdOk = namedButton(QStringLiteral("cmdOk"), QStringLiteral("保存"), this);
    m_cmdQuit = namedButton(QStringLiteral("cmdQuit"), QStringLiteral("退出"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOk);
    buttons->addWidget(m_cmdQuit);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);

    connect(m_cmdOk, &QPushButton::clicked, this, &frmSetUser::cmdOkClick);
    connect(m_cmdQuit, &QPushButton::clicked, this, &QWidget::close);

    applyLanguage(this, sysSettings.languageIndex);
    loadValues();
}

frmSetUser *frmSetUser::showSetUser(QWidget *owner)
{
    auto *form = owner ? owner->findChild<frmSetUser *>(kSection, Qt::FindDirectChildrenOnly) : nullptr;
    if (!form) {
        form = new frmSetUser(owner);
        form->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(form, owner);
    return form;
}

void frmSetUser::loadValues()
{
    const SystemSettings &s = sysSettings;
    const QString values[] = {s.username, s.Userfname, s.usertelephone, s.mobilephone, s.MailAddr};
    for (int i = 0; i < 5; ++i)
        m_cmbSets[i]->setText(values[i]);
}

void frmSetUser::cmdOkClick()
{
    setBusyCursor(true);
    SystemSettings &s = sysSettings;
    s.username = m_cmbSets[0]->text();
    s.Userfname = m_cmbSets[1]->text();
    s.usertelephone = m_cmbSets[2]->text();
    s.mobilephone = m_cmbSets[3]->text();
    s.MailAddr = m_cmbSets[4]->text();
    // A failed write has shown its own message; the status says it too.
    const bool savedOk = saveSystemSettings();
    const QString saved = langText(kSection, savedOk ? QStringLiteral("msgSavedOk") : QStringLiteral("msgSaveFailed"));
    logStatus(saved);
    setBusyCursor(false);
    if (savedOk)
        messages().show(windowTitle(), saved, MessageIcon::Information);
}

} // namespace vantoro
