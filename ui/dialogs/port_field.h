// The port field of the system settings dialog: the ports the system has,
// with their descriptions, a device path typed in, and the test poll that
// tells whether a device answers there with the dialog's values.
#pragma once

#include "acquisition/connection_test.h"
#include "core/sys_set_values.h"

#include <QHash>
#include <QStringList>

class QComboBox;

namespace vantoro {

struct SystemPorts
{
    QStringList devices;                   // what the serial port code opens
    QHash<QString, QString> descriptions;  // by device
};

SystemPorts systemPorts();
void fillPortField(QComboBox *field, const QList<PortEntry> &entries);
// Shows the entry of port `number`, or "Com<number>" when none is listed.
void showPort(QComboBox *field, const QList<PortEntry> &entries, int number);
// One test poll on a port object of its own, opened on `device` (a serial
// device or a network address).
ConnectionTestOutcome testPort(const QString &device, const ConnectionTestValues &values);
// The outcome in the operator's words.
QString connectionTestText(const ConnectionTestOutcome &outcome, const QString &device);

} // namespace vantoro
