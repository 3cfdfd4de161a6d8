// The password change dialog.
#include "ui/dialogs/frm_chg_pass.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "core/password.h"
#include "core/system_settings.h"
#include "ui/dialogs/dialog_controls.h"
#include "ui/form_utils.h"
#include "ui/language.h"

#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace vantoro {

namespace {

const QString kSection = QStringLiteral("frmChgPass");

QString passText(const char *key)
{
    return langText(kSection, QString::fromLatin1(key), LANGUAGE_CURRENT, QString());
}

} // namespace

frmChgPass::frmChgPass(QWidget *owner)
    : QWidget(owner, Qt::Window)
{
    setObjectName(kSection);
    setWindowTitle(QStringLiteral("密码修改"));

    auto *grid = new QGridLayout;
    const char *const captions[] = {"用户原密码:", "新密码:", "新密码校验:"};
    for (int i = 0; i < 3; ++i) {
        grid->addWidget(namedLabel(QStringLiteral("Label1"), QString::fromUtf8(captions[i]), this, i), i, 0);
        auto *box = new QLineEdit(this);
        setControlName(box, QStringLiteral("txtPassword"), i);
        box->setEchoMode(QLineEdit::Password);
        box->installEventFilter(this);
        grid->addWidget(box, i, 1);
        m_txtPassword << box;
    }
    m_cmdOK = namedButton(QStringLiteral("cmdOK"), QStringLiteral("确定"), this);
    m_cmdCancel = namedButton(QStringLiteral("cmdCancel"), QStringLiteral("关闭"), this);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(m_cmdOK, &QPushButton::clicked, this, &frmChgPass::cmdOkClick);
    connect(m_cmdCancel, &QPushButton::clicked, this, [this] {
        hide();
        close();
    });
}

frmChgPass *frmChgPass::showChgPass(QWidget *owner)
{
    auto *form = owner ? owner->findChild<frmChgPass *>(kSection, Qt::FindDirectChildrenOnly) : nullptr;
    if (!form) {
        form = new frmChgPass(owner);
        form->setAttribute(Qt::WA_DeleteOnClose);
    }
    showForm(form, owner);
    return form;
}

void frmChgPass::cmdOkClick()
{
    // The slow hash takes a moment by intent.
    setBusyCursor(true);
    const PasswordChange result =
        changeOperatorPassword(m_txtPassword[0]->text(), m_txtPassword[1]->text(), m_txtPassword[2]->text());
    setBusyCursor(false);
    switch (result) {
    case PasswordChange::Mismatch:
        messages().show(windowTitle(), passText("msgNewPassNotConsist"), MessageIcon::Information);
        m_txtPassword[1]->setFocus();
        break;
    case PasswordChange::WrongOldPassword:
        messages().show(stationTitle(), passText("msgOldPassNotCorrect"), MessageIcon::None);
        m_txtPassword[0]->setFocus();
        break;
    case PasswordChange::Changed:
        messages().show(windowTitle(), passText("msgPassChangeOK"), MessageIcon::Information);
        break;
    case PasswordChange::NotStored:
        messages().show(windowTitle(), passText("msgPassNotStored"), MessageIcon::Error);
        break;
    }
}

bool frmChgPass::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn) {
        if (auto *box = qobject_cast<QLineEdit *>(watched)) {
            // After the focus change has finished, or a mouse click undoes it.
            QTimer::singleShot(0, box, &QLineEdit::selectAll);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void frmChgPass::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        applyLanguage(this, sysSettings.languageIndex);
    QWidget::changeEvent(event);
}

void frmChgPass::showEvent(QShowEvent *event)
{
    applyLanguage(this, sysSettings.languageIndex);
    QWidget::showEvent(event);
}

} // namespace vantoro
