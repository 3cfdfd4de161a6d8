// The running log window: shows the station's running log, hides instead of
// closing when the operator closes it.
#pragma once

#include <QWidget>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;

namespace vantoro {

class frmLogs : public QWidget
{
public:
    // Created hidden; it keeps collecting lines until the program unloads it.
    explicit frmLogs(QWidget *owner = nullptr);

    // Follows the running log of the core; the status sink forwards its
    // runningLogChanged here.
    void runningLogChanged(const QString &line, bool replaced);
    // Shows the window, restored if minimised, in front of its owner.
    void showLogs();
    // The program's own close: the window really closes. Any other close
    // (close box, window menu, Alt+F4) only hides it.
    void unload();

    QPlainTextEdit *logs() const { return m_logs; }
    // The steps of every poll cycle in the log too, while checked.
    QCheckBox *details() const { return m_details; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void clearLogs();

    QPlainTextEdit *m_logs = nullptr;
    QPushButton *m_clear = nullptr;
    QPushButton *m_exit = nullptr;
    QCheckBox *m_details = nullptr;
    bool m_unloading = false;
};

} // namespace vantoro
