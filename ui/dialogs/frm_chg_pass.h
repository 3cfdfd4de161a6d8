// The operator password change: the repetition is checked first, then the
// old password; the new one is stored as a hash.
#pragma once

#include <QList>
#include <QWidget>

class QLineEdit;
class QPushButton;

namespace vantoro {

class frmChgPass : public QWidget
{
public:
    explicit frmChgPass(QWidget *owner = nullptr);

    // Opens the one dialog owned by `owner`, or brings the open one forward.
    static frmChgPass *showChgPass(QWidget *owner);

    // Checks and stores; the dialog stays open with its boxes unchanged.
    void cmdOkClick();

    QLineEdit *txtPassword(int index) const { return m_txtPassword.value(index); }
    QPushButton *cmdOK() const { return m_cmdOK; }
    QPushButton *cmdCancel() const { return m_cmdCancel; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    QList<QLineEdit *> m_txtPassword;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdCancel = nullptr;
};

} // namespace vantoro
