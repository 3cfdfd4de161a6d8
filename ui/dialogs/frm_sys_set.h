// The system settings dialog: port, timing, device and alarm-sound settings
// of the in-memory record, saved to the database and used by the next poll.
#pragma once

#include "acquisition/stable_port_names.h"
#include "core/device_store.h"
#include "plant/device.h"
#include "core/sys_set_values.h"

#include "ui/language.h"

#include <QDialog>
#include <QHash>
#include <QList>
#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;

namespace vantoro {

class SettingsPage;

class frmSysSet : public QDialog, public LanguageAware
{
public:
    // `titleChanged` is called after a save so the owner can show the new
    // device name and power in its title; `languageChosen` when the operator
    // picks another language, so the owner re-captions itself at once.
    explicit frmSysSet(QWidget *owner = nullptr, std::function<void()> titleChanged = {},
                       std::function<void(int language)> languageChosen = {});

    // The device whose record the first page edits (the first of the line
    // until told); its fields are loaded again.
    void showDevice(const QString &id);
    const DeviceRecord &device() const { return m_device; }

    // Fills the pick-lists; the port list offers the ports the system has
    // and the current one, and takes a device path typed in.
    void setControls();
    void setControls(const QStringList &systemPorts);
    // Where the stable names of USB adapters are looked for (a test's own folder).
    void setStablePortFolder(const QString &folder) { m_stableFolder = folder; }
    // Copies the in-memory settings into the fields. A value its pick-list
    // does not hold is added to it, marked, and saved back unchanged unless
    // another entry is chosen; false then.
    bool loadValues();
    // Saves the fields into the settings and the database; the dialog stays
    // open. A query interval that is not a number, a time-out outside
    // 0.1..60 s or retries outside 0..10 refuse the save; false then, and
    // also when the database write failed.
    bool cmdOkClick();
    // Saves, then plays the alarm sound once.
    void cmdTestSoundClick();
    // One poll with the dialog's port, line and device values; the result
    // shows under the button and nothing is saved.
    void cmdTestPortClick();
    QPushButton *cmdTestPort() const { return m_cmdTestPort; }
    QLabel *lblTestPort() const { return m_lblTestPort; }
    // Under the port field: the stable name to switch to, when the port has one.
    QLabel *lblPortHint() const { return m_lblPortHint; }

    // The alarm sound played by the test button (the station's alarm by default).
    void setAlarmPlayer(std::function<void(int frequencyHz)> player) { m_playAlarm = std::move(player); }
    // Polling holds its port open: "Test connection" has it let go for the
    // test (`release` says whether polling was on) and given back after.
    void setLineRelease(std::function<bool()> release, std::function<void(bool wasPolling)> giveBack)
    {
        m_releaseLine = std::move(release);
        m_giveBackLine = std::move(giveBack);
    }

    QComboBox *cmbSets(int index) const { return m_cmbSets.value(index); }
    QComboBox *cmbPower() const { return m_cmbPower; }
    QLabel *label1(int index) const { return m_label1.value(index); }
    QCheckBox *chkTotalPower() const { return m_chkTotalPower; }
    QCheckBox *chkAutoShutDown() const { return m_chkAutoShutDown; }
    QComboBox *cmbLanguage() const { return m_cmbLanguage; }
    // Brings the page of that object name ("pageMail") to the front; an
    // empty or unknown name leaves the first page.
    void showPage(const QString &name);
    // The language takes effect and is stored at once, not with Save.
    void chooseLanguage(int language);
    void languageApplied(int language) override;
    // True when a field differs from what was loaded or last saved.
    bool hasUnsavedEdits() const;
    // Close and Esc ask before unsaved edits are dropped.
    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

public:
    QPushButton *cmdOk() const { return m_cmdOk; }
    QPushButton *cmdTestSound() const { return m_cmdTestSound; }
    const QList<PortEntry> &portList() const { return m_ports; }
    QTabWidget *tabs() const { return m_tabs; }
    const QList<SettingsPage *> &pages() const { return m_pages; }

private:
    void buildControls();
    void deviceStored(const DeviceRecord &device);
    void soundChoiceChanged();
    void updatePortHint();
    // The problem with the port field's address for the protocol chosen, empty when none.
    QString portFieldProblem() const;

    std::function<void()> m_titleChanged;
    std::function<void(int)> m_languageChosen;
    QComboBox *m_cmbLanguage = nullptr;
    QStringList fieldValues() const;
    bool mayClose();
    QStringList m_savedValues;
    std::function<void(int)> m_playAlarm;
    std::function<bool()> m_releaseLine;
    std::function<void(bool)> m_giveBackLine;
    QList<QComboBox *> m_cmbSets;
    QList<QLabel *> m_label1;
    QComboBox *m_cmbPower = nullptr;
    QCheckBox *m_chkTotalPower = nullptr;
    QCheckBox *m_chkAutoShutDown = nullptr;
    QPushButton *m_cmdTestSound = nullptr;
    QPushButton *m_cmdOk = nullptr;
    QPushButton *m_cmdQuit = nullptr;
    QList<PortEntry> m_ports;
    QHash<QString, QString> m_portDescriptions;
    QPushButton *m_cmdTestPort = nullptr;
    QLabel *m_lblTestPort = nullptr;
    QLabel *m_lblPortHint = nullptr;
    QString m_stableFolder = QString::fromLatin1(SERIAL_BY_ID_FOLDER);
    QList<StablePortName> m_stableNames;
    QLabel *m_lblLanguage = nullptr;
    QTabWidget *m_tabs = nullptr;
    QList<SettingsPage *> m_pages;
    DeviceRecord m_device;
};

} // namespace vantoro
