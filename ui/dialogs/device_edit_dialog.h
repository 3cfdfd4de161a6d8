// The dialog that adds or edits one device of the line: id, name, protocol
// version, address, power rating, meter counter and enabled, checked as they
// are entered against the other devices on the line.
#pragma once

#include "core/device_store.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

namespace vantoro {

class DeviceEditDialog : public QDialog
{
public:
    // `line` is the line as stored; `ratings` the ratings a factory table
    // exists for. When editing, the id stays as it is: events and history
    // are kept under it.
    DeviceEditDialog(const DeviceRecord &device, const QList<DeviceRecord> &line, const QStringList &ratings,
                     bool adding, QWidget *parent = nullptr);

    DeviceRecord record() const;
    // Why the device as entered cannot be stored; empty when it can.
    QString problem() const;
    // Refuses, with the reason, while the device as entered cannot be stored.
    void accept() override;

    // A device for a line: the first free id and address, the first rating.
    static DeviceRecord newDevice(const QList<DeviceRecord> &line, const QStringList &ratings);

    QLineEdit *idField() const { return m_id; }
    QLineEdit *nameField() const { return m_name; }
    QSpinBox *addressField() const { return m_address; }
    QComboBox *protocolField() const { return m_protocol; }
    QComboBox *ratingField() const { return m_rating; }
    QCheckBox *enabledField() const { return m_enabled; }
    QLabel *problemLabel() const { return m_problem; }

private:
    void showProblem();

    QList<DeviceRecord> m_line;
    QStringList m_ratings;
    bool m_adding;
    QLineEdit *m_id = nullptr;
    QLineEdit *m_name = nullptr;
    QComboBox *m_protocol = nullptr;
    QSpinBox *m_address = nullptr;
    QComboBox *m_rating = nullptr;
    QCheckBox *m_meter = nullptr;
    QCheckBox *m_enabled = nullptr;
    QLabel *m_problem = nullptr;
};

} // namespace vantoro
