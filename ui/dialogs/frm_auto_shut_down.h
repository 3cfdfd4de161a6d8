// The shutdown countdown: 60 seconds for the operator to cancel before the
// computer is shut down in an orderly way.
#pragma once

#include <QDialog>
#include <QTimer>
#include <functional>

class QLabel;
class QPushButton;

namespace vantoro {

class frmAutoShutDown : public QDialog
{
public:
    // The count starts at once. `shutdown` is the routine that shuts the
    // computer down (shutdownWindows unless a test records it).
    explicit frmAutoShutDown(QWidget *owner = nullptr, std::function<void()> shutdown = {});

    // Opens the countdown modeless, unless one is already counting. Closing
    // it deletes it, so the next one starts again at 60.
    static frmAutoShutDown *showAutoShutDown(QWidget *owner = nullptr);

    // Seconds left.
    int iSecsRemained = 0;

    QLabel *Label2() const { return m_label2; }
    QLabel *Label3() const { return m_label3; }
    QPushButton *cmdok(int index) const;
    QTimer &Timer1() { return m_timer1; }

    void cmdokClick(int index);

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;
    void reject() override;

private:
    void timer1Timer();

    std::function<void()> m_shutdown;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QList<QPushButton *> m_cmdok;
    QTimer m_timer1;
    bool m_activated = false;
};

} // namespace vantoro
