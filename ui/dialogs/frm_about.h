// The about box: title with the start date, version, a blinking notice, a
// button for the system information tool; it closes itself after a while.
#pragma once

#include <QDialog>
#include <QTimer>

class QLabel;
class QPushButton;

namespace vantoro {

inline constexpr int ABOUT_CLOSE_AFTER_MS = 30000;
inline constexpr int ABOUT_BLINK_MS = 500;

class frmAbout : public QDialog
{
public:
    explicit frmAbout(QWidget *owner = nullptr);

    // Shows a new about box modal over `owner` and returns once it has
    // closed (by its button or by itself); it is deleted on closing.
    static void showAbout(QWidget *owner);

    // The system information tool of this machine (msinfo32 on Windows; on
    // Linux the first known tool found on the PATH); empty when none.
    static QString systemInfoTool();

    QLabel *lblTitle() const { return m_lblTitle; }
    QLabel *lblVersion() const { return m_lblVersion; }
    QLabel *lblStarted() const { return m_lblStarted; }
    QLabel *lblDescription() const { return m_lblDescription; }
    QLabel *lblDisclaimer() const { return m_lblDisclaimer; }
    QPushButton *cmdOK() const { return m_cmdOK; }
    QPushButton *cmdSysInfo() const { return m_cmdSysInfo; }
    QTimer &timerBlink() { return m_timerBlink; }
    QTimer &timerClose() { return m_timerClose; }
    // Whether the notice shows in its highlight colour just now.
    bool noticeLit() const { return m_noticeLit; }

    void cmdSysInfoClick();

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void blink();

    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
    QLabel *m_lblStarted = nullptr;
    QLabel *m_lblDescription = nullptr;
    QLabel *m_lblDisclaimer = nullptr;
    QPushButton *m_cmdOK = nullptr;
    QPushButton *m_cmdSysInfo = nullptr;
    QString m_tool;
    QTimer m_timerBlink;
    QTimer m_timerClose;
    bool m_noticeLit = false;
};

} // namespace vantoro
