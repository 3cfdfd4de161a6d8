// The Devices page of the system settings: the devices on the line in a
// table, with Add, Edit and Remove. Each change is written to the database
// as it is made (the store checks it again), not with the dialog's Save.
#pragma once

#include "core/device_store.h"
#include "ui/dialogs/settings_page.h"

#include <functional>
#include <optional>

class QPushButton;
class QTableWidget;

namespace vantoro {

class DevicesSettingsPage : public SettingsPage
{
public:
    static constexpr int COLUMNS = 6;

    explicit DevicesSettingsPage(QWidget *parent = nullptr);

    QString title() const override;
    void load() override;
    QString validate() const override { return QString(); }
    bool save() override { return true; }

    void addClicked();
    void editClicked();
    void removeClicked();

    // Asks for the device to write (the edit dialog by default); nullopt
    // when the operator cancels.
    using Editor = std::function<std::optional<DeviceRecord>(const DeviceRecord &device, const QList<DeviceRecord> &line,
                                                             const QStringList &ratings, bool adding)>;
    void setEditor(Editor editor) { m_editor = std::move(editor); }
    // Asks before a device is removed: nullopt to keep it, else whether its
    // events, history and yield go too.
    using RemoveQuestion = std::function<std::optional<bool>(const DeviceRecord &device)>;
    void setRemoveQuestion(RemoveQuestion question) { m_removeQuestion = std::move(question); }
    // Told after a device was written, with the device as stored.
    void setDeviceStored(std::function<void(const DeviceRecord &)> stored) { m_stored = std::move(stored); }

    QTableWidget *table() const { return m_table; }
    const QList<DeviceRecord> &devices() const { return m_devices; }

private:
    std::optional<DeviceRecord> current() const;
    void selectDevice(const QString &id);
    void showButtons();

    QTableWidget *m_table = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_edit = nullptr;
    QPushButton *m_remove = nullptr;
    QList<DeviceRecord> m_devices;
    Editor m_editor;
    RemoveQuestion m_removeQuestion;
    std::function<void(const DeviceRecord &)> m_stored;
};

} // namespace vantoro
