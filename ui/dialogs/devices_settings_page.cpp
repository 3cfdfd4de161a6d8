// The Devices page.
#include "ui/dialogs/devices_settings_page.h"

#include "core/factory_tables.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "ui/dialogs/device_edit_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace vantoro {

namespace {

QString text(const char *key, const char *builtIn)
{
    return formText(QStringLiteral("devices"), QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

std::optional<DeviceRecord> editInDialog(QWidget *parent, const DeviceRecord &device, const QList<DeviceRecord> &line,
                                         const QStringList &ratings, bool adding)
{
    DeviceEditDialog dialog(device, line, ratings, adding, parent);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.record();
}

// "Remove?" with No as the default and the tick that takes the records too.
std::optional<bool> askToRemove(QWidget *parent, const DeviceRecord &device)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("frmDeviceRemove"));
    dialog.setWindowTitle(text("titleRemove", "Remove a device"));
    auto *question = new QLabel(text("msgRemove", "Remove device %1 \"%2\" and its parameters from the line?")
                                    .arg(device.id, device.name),
                                &dialog);
    question->setWordWrap(true);
    auto *purge = new QCheckBox(text("chkPurge", "Also delete its events, history and yield"), &dialog);
    purge->setObjectName(QStringLiteral("chkPurge"));
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Yes | QDialogButtonBox::No, &dialog);
    buttons->button(QDialogButtonBox::No)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(question);
    layout->addWidget(purge);
    layout->addWidget(buttons);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return purge->isChecked();
}

} // namespace

DevicesSettingsPage::DevicesSettingsPage(QWidget *parent)
    : SettingsPage(parent)
    , m_table(new QTableWidget(this))
    , m_add(new QPushButton(text("cmdAdd", "Add…"), this))
    , m_edit(new QPushButton(text("cmdEdit", "Edit…"), this))
    , m_remove(new QPushButton(text("cmdRemove", "Remove…"), this))
{
    setObjectName(QStringLiteral("pageDevices"));
    m_table->setObjectName(QStringLiteral("grdDevices"));
    m_add->setObjectName(QStringLiteral("cmdAddDevice"));
    m_edit->setObjectName(QStringLiteral("cmdEditDevice"));
    m_remove->setObjectName(QStringLiteral("cmdRemoveDevice"));
    m_table->setColumnCount(COLUMNS);
    m_table->setHorizontalHeaderLabels({text("colId", "Id"), text("colName", "Name"), text("colAddress", "Address"),
                                        text("colProtocol", "Protocol"), text("colRating", "Rating"),
                                        text("colEnabled", "Polled")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_add);
    buttons->addWidget(m_edit);
    buttons->addWidget(m_remove);
    buttons->addStretch(1);
    auto *note = new QLabel(text("lblNote", "Each change is stored at once. Every device on the line needs an address "
                                            "of its own."),
                            this);
    note->setWordWrap(true);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table, 1);
    layout->addLayout(buttons);
    layout->addWidget(note);

    m_editor = [this](const DeviceRecord &device, const QList<DeviceRecord> &line, const QStringList &ratings,
                      bool adding) { return editInDialog(this, device, line, ratings, adding); };
    m_removeQuestion = [this](const DeviceRecord &device) { return askToRemove(this, device); };
    connect(m_add, &QPushButton::clicked, this, &DevicesSettingsPage::addClicked);
    connect(m_edit, &QPushButton::clicked, this, &DevicesSettingsPage::editClicked);
    connect(m_remove, &QPushButton::clicked, this, &DevicesSettingsPage::removeClicked);
    connect(m_table, &QTableWidget::cellDoubleClicked, this, &DevicesSettingsPage::editClicked);
    connect(m_table, &QTableWidget::itemSelectionChanged, this, &DevicesSettingsPage::showButtons);
}

QString DevicesSettingsPage::title() const
{
    return text("Title", "Devices");
}

void DevicesSettingsPage::load()
{
    const QString selected = current() ? current()->id : QString();
    QString error;
    const auto devices = loadDevices(&error);
    if (!devices)
        messages().show(title(), text("msgUnreadable", "The devices cannot be read: %1").arg(error), MessageIcon::Error);
    m_devices = devices.value_or(QList<DeviceRecord>());
    m_table->setRowCount(int(m_devices.size()));
    for (int row = 0; row < m_devices.size(); ++row) {
        const DeviceRecord &d = m_devices[row];
        const QStringList cells{d.id,
                                d.name,
                                QString::number(d.address),
                                QString::number(d.protocol),
                                d.rating,
                                d.enabled ? text("msgYes", "yes") : text("msgNo", "no")};
        for (int column = 0; column < COLUMNS; ++column) {
            auto *item = new QTableWidgetItem(cells[column]);
            if (column != 1)
                item->setTextAlignment(Qt::AlignCenter);
            m_table->setItem(row, column, item);
        }
    }
    selectDevice(selected.isEmpty() && !m_devices.isEmpty() ? m_devices.first().id : selected);
    showButtons();
}

std::optional<DeviceRecord> DevicesSettingsPage::current() const
{
    const int row = m_table->currentRow();
    if (row < 0 || row >= m_devices.size() || !m_table->item(row, 0) || !m_table->item(row, 0)->isSelected())
        return std::nullopt;
    return m_devices[row];
}

void DevicesSettingsPage::selectDevice(const QString &id)
{
    for (int row = 0; row < m_devices.size(); ++row) {
        if (m_devices[row].id == id)
            m_table->selectRow(row);
    }
}

void DevicesSettingsPage::showButtons()
{
    const bool chosen = current().has_value();
    m_add->setEnabled(m_devices.size() < MAX_DEVICES);
    m_edit->setEnabled(chosen);
    // The last device stays: a line without one has nothing to poll.
    m_remove->setEnabled(chosen && m_devices.size() > 1);
}

void DevicesSettingsPage::addClicked()
{
    const QStringList ratings = factoryRatings();
    const auto device = m_editor(DeviceEditDialog::newDevice(m_devices, ratings), m_devices, ratings, true);
    if (!device)
        return;
    QString error;
    if (!addDevice(*device, &error)) {
        messages().show(title(), text("msgNotAdded", "The device was not added: %1").arg(error), MessageIcon::Warning);
        return;
    }
    load();
    selectDevice(device->id);
    if (m_stored)
        m_stored(*device);
}

void DevicesSettingsPage::editClicked()
{
    const auto chosen = current();
    if (!chosen)
        return;
    const auto device = m_editor(*chosen, m_devices, factoryRatings(), false);
    if (!device)
        return;
    QString error;
    if (!editDevice(*device, &error)) {
        messages().show(title(), text("msgNotStored", "The device was not stored: %1").arg(error), MessageIcon::Warning);
        return;
    }
    load();
    if (m_stored)
        m_stored(*device);
}

void DevicesSettingsPage::removeClicked()
{
    const auto chosen = current();
    if (!chosen)
        return;
    const auto purge = m_removeQuestion(*chosen);
    if (!purge)
        return;
    QString error;
    if (!removeDevice(chosen->id, *purge, &error)) {
        messages().show(title(), text("msgNotRemoved", "The device was not removed: %1").arg(error), MessageIcon::Warning);
        return;
    }
    m_table->clearSelection();
    load();
}

} // namespace vantoro
