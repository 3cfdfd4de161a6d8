// The device edit dialog.
#include "ui/dialogs/device_edit_dialog.h"

#include "core/localisation.h"
#include "core/message_service.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSpinBox>
#include <QVBoxLayout>

namespace vantoro {

namespace {

QString text(const char *key, const char *builtIn)
{
    return formText(QStringLiteral("devices"), QString::fromLatin1(key), QString::fromUtf8(builtIn));
}

} // namespace

DeviceRecord DeviceEditDialog::newDevice(const QList<DeviceRecord> &line, const QStringList &ratings)
{
    QSet<QString> ids;
    QSet<int> addresses;
    for (const DeviceRecord &d : line) {
        ids.insert(d.id);
        addresses.insert(d.address);
    }
    DeviceRecord device;
    for (int n = 1; n <= MAX_DEVICES; ++n) {
        if (!ids.contains(deviceIdText(n))) {
            device.id = deviceIdText(n);
            break;
        }
    }
    // The line's own protocol, so a new device fits those already on it.
    device.protocol = line.isEmpty() ? 1 : line.last().protocol;
    device.address = lowestAddress(2);
    while (addresses.contains(device.address) && device.address < highestAddress(device.protocol))
        ++device.address;
    device.name = text("defaultName", "INV %1").arg(device.id);
    device.rating = ratings.contains(QStringLiteral("3K")) ? QStringLiteral("3K") : ratings.value(0);
    return device;
}

DeviceEditDialog::DeviceEditDialog(const DeviceRecord &device, const QList<DeviceRecord> &line,
                                   const QStringList &ratings, bool adding, QWidget *parent)
    : QDialog(parent)
    , m_line(line)
    , m_ratings(ratings)
    , m_adding(adding)
    , m_id(new QLineEdit(this))
    , m_name(new QLineEdit(this))
    , m_protocol(new QComboBox(this))
    , m_address(new QSpinBox(this))
    , m_rating(new QComboBox(this))
    , m_meter(new QCheckBox(text("chkMeter", "Reports its total energy"), this))
    , m_enabled(new QCheckBox(text("chkEnabled", "Polled"), this))
    , m_problem(new QLabel(this))
{
    setObjectName(QStringLiteral("frmDeviceEdit"));
    setWindowTitle(adding ? text("titleAdd", "Add a device") : text("titleEdit", "Device %1").arg(device.id));
    m_id->setObjectName(QStringLiteral("txtDeviceId"));
    m_name->setObjectName(QStringLiteral("txtDeviceName"));
    m_protocol->setObjectName(QStringLiteral("cmbDeviceProtocol"));
    m_address->setObjectName(QStringLiteral("txtDeviceAddress"));
    m_rating->setObjectName(QStringLiteral("cmbDeviceRating"));
    m_meter->setObjectName(QStringLiteral("chkDeviceMeter"));
    m_enabled->setObjectName(QStringLiteral("chkDeviceEnabled"));
    m_problem->setObjectName(QStringLiteral("lblDeviceProblem"));

    m_id->setText(device.id);
    m_id->setReadOnly(!adding);
    m_id->setMaxLength(3);
    m_name->setText(device.name);
    m_name->setMaxLength(DEVICE_NAME_MAX);
    m_protocol->addItem(QStringLiteral("1"), 1);
    m_protocol->addItem(QStringLiteral("2"), 2);
    m_protocol->setCurrentIndex(device.protocol == 2 ? 1 : 0);
    // The widest range of both versions: a value the version cannot reach
    // is shown as a problem, never changed behind the operator's back.
    m_address->setRange(0, highestAddress(1));
    m_address->setValue(device.address);
    m_rating->addItems(ratings);
    if (!ratings.contains(device.rating) && !device.rating.isEmpty())
        m_rating->addItem(device.rating);
    m_rating->setCurrentText(device.rating);
    m_meter->setChecked(device.meterCounter);
    m_enabled->setChecked(device.enabled);
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #d00000;"));

    auto *form = new QFormLayout;
    form->addRow(text("lblId", "Id"), m_id);
    form->addRow(text("lblName", "Name"), m_name);
    form->addRow(text("lblProtocol", "Protocol version"), m_protocol);
    form->addRow(text("lblAddress", "Address"), m_address);
    form->addRow(text("lblRating", "Power rating"), m_rating);
    form->addRow(QString(), m_meter);
    form->addRow(QString(), m_enabled);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &DeviceEditDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DeviceEditDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);

    connect(m_id, &QLineEdit::textChanged, this, &DeviceEditDialog::showProblem);
    connect(m_name, &QLineEdit::textChanged, this, &DeviceEditDialog::showProblem);
    connect(m_protocol, &QComboBox::currentIndexChanged, this, &DeviceEditDialog::showProblem);
    connect(m_address, &QSpinBox::valueChanged, this, &DeviceEditDialog::showProblem);
    connect(m_rating, &QComboBox::currentIndexChanged, this, &DeviceEditDialog::showProblem);
    showProblem();
}

DeviceRecord DeviceEditDialog::record() const
{
    DeviceRecord d;
    d.id = m_id->text().trimmed();
    d.name = m_name->text().trimmed();
    d.protocol = m_protocol->currentData().toInt();
    d.address = m_address->value();
    d.rating = m_rating->currentText();
    d.meterCounter = m_meter->isChecked();
    d.enabled = m_enabled->isChecked();
    return d;
}

QString DeviceEditDialog::problem() const
{
    return deviceProblem(record(), m_line, m_ratings, !m_adding);
}

void DeviceEditDialog::showProblem()
{
    m_problem->setText(problem());
}

void DeviceEditDialog::accept()
{
    const QString why = problem();
    if (why.isEmpty()) {
        QDialog::accept();
        return;
    }
    m_problem->setText(why);
    messages().show(windowTitle(), why, MessageIcon::Warning);
    m_address->setFocus();
}

} // namespace vantoro
