// The station's main window: menus, toolbar, status bar, timers, the polling
// switch, the fault evaluation after each poll, and the quit procedure.
#pragma once

#include "acquisition/serial_port.h"
#include "events/event_log.h"
#include "plant/line.h"
#include "ui/language.h"

#include <QHash>
#include <QMainWindow>
#include <QTimer>
#include <memory>

class QAction;
class QDialog;
class QLabel;
class QMenu;
class QPushButton;
class QToolBar;

namespace vantoro {

class DeviceSelector;
class MainAlerts;
class MainViews;
class Poller;
class frmLogs;

class frmMain : public QMainWindow, public LanguageAware, public StatusSink
{
public:
    // The window's load sequence runs here (the line's devices are read from
    // the database); the port defaults to the real serial port of the
    // settings.
    explicit frmMain(QWidget *parent = nullptr, std::unique_ptr<SerialPort> port = {});
    ~frmMain() override;

    QString myCaption;
    bool bFoundError = false;
    QString sErrorString;
    bool bFormLoaded = false;

    // After every poll of the selected device (and every remote command):
    // evaluate, mark, redraw.
    void refreshDisplay();
    // After a cycle of any device with its link up: its faults and
    // under-voltage rule, and the display when it is the one shown.
    void deviceCycle(Device &device);
    // The state bulb and the night look of the diagram after a cycle.
    void showDeviceState();
    void setViewMode(int iMode);
    void createStructure();
    void setPicTrendBounds();
    void setSpeaker();
    // The sound switch's tool tip says whether sound is on.
    QString speakerToolTip() const;
    void setWorkMode(int) {}
    void checkWorkMode();
    void checkComState();
    void setComOpen(bool bOpen);
    bool queryData();

    // The device the views and the dialogs of one device show; the first of
    // the line at start. An unknown id selects the first device.
    void selectDevice(const QString &id);
    Device *device() const { return m_device; }
    Line &line() const { return *m_line; }
    // Reads the devices again after the settings changed them; the
    // selection stays when its device does.
    void reloadDevices();
    // The devices table changed (the Devices page): the line follows when
    // its devices differ from the list published.
    void devicesPublished();

    // The caption rule: myCaption + " [" + devname + " - QZ" + devpower + "]".
    void updateTitle();
    // A quit asked by the operating system: no question, everything saved.
    void requestOperatingSystemQuit();
    // Brings the window to the front for a second instance; false when hidden.
    bool raiseForSecondInstance();
    // Switches polling on when the per-user value "AutoStartPolling" is set.
    void autoStartPolling();

    // Toolbar and menu commands by key, as a click would run them.
    void toolbarClick(const QString &key);
    void toggleSound();
    void devStateClick();
    // One tick of a timer, as the timer would run it.
    void timerClockTick();
    void timerBeepTick();
    void timerStatusTick();

    void languageApplied(int language) override;
    void showStatus(const QString &text) override;
    void runningLogChanged(const QString &line, bool replaced) override;

    Poller &poller() const { return *m_poller; }
    SerialPort &port() const { return m_line->port(); }
    MainViews *views() const { return m_views; }
    frmLogs *logWindow() const { return m_logs; }
    MainAlerts *alerts() const { return m_alerts; }
    DeviceSelector *deviceSelector() const { return m_selector; }
    QTimer &timerReloadData() { return m_timerReloadData; }
    QTimer &timerBeep() { return m_timerBeep; }
    QTimer &timerStatus() { return m_timerStatus; }
    QTimer &timerClock() { return m_timerClock; }
    QAction *action(const QString &name) const;
    QAction *toolButton(const QString &key) const { return m_toolButtons.value(key); }
    QLabel *panel(const QString &key) const { return m_panels.value(key); }
    // The image key a status panel shows ("speak", "bulble_red", ...).
    QString panelImage(const QString &key) const;
    int beepCount() const { return m_beeps; }

    static int twipsToPixels(double twips, const QWidget *w);
    static double pixelsToTwips(int pixels, const QWidget *w);

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void buildToolbar();
    void buildStatusBar();
    void buildTimers();
    void formActivate();
    void layoutPass();
    void loadWindowPosition();
    void saveWindowPosition();
    void setPanelImage(const QString &key, const QString &image);
    void togglePlug();
    void toggleCommunicationMenu();
    void toggleToolbarVisible();
    void toggleStatusBarVisible();
    void showSystemLog();
    // True when polling was on: it is switched on again when the editor closes.
    bool stopPollingForEditor();
    void resumePollingAfter(QWidget *editor, bool wasPolling);
    void openWindowModal(QDialog *dialog);
    // Raises an open dialog of that kind instead of opening a second one.
    template <class Dialog> bool raiseOpen()
    {
        for (QObject *child : children()) {
            auto *open = dynamic_cast<Dialog *>(child);
            if (open && open->isVisible()) {
                open->raise();
                open->activateWindow();
                return true;
            }
        }
        return false;
    }
    void openParameterEditor();
    void openRawParameterEditor();
    void reloadTables();
    // `page` names the settings page to show first (its object name).
    void openSystemSettings(const QString &page = QString());
    void showUnavailableReasons();
    void openAbout();
    void openManual();

    std::unique_ptr<Line> m_line;
    Device *m_device = nullptr;
    QTimer m_timerReloadData;
    QTimer m_timerBeep;
    QTimer m_timerStatus;
    QTimer m_timerClock;
    std::unique_ptr<Poller> m_poller;
    MainViews *m_views = nullptr;
    frmLogs *m_logs = nullptr;
    MainAlerts *m_alerts = nullptr;
    DeviceSelector *m_selector = nullptr;
    QToolBar *m_toolbar = nullptr;
    QPushButton *m_command1 = nullptr;
    QHash<QString, QAction *> m_actions;
    QHash<QString, QAction *> m_toolButtons;
    QList<QAction *> m_toolbarEntries; // buttons and separators, in order
    QHash<QString, QLabel *> m_panels;
    QHash<QString, QString> m_panelImages;
    QString m_clockTime;
    QString m_clockText;
    int m_diagCounter = 0;
    int m_beeps = 0;
    bool m_osQuit = false;
    bool m_activated = false;
    QList<QMetaObject::Connection> m_editorWatches;
};

} // namespace vantoro
