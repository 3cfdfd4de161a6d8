// Names of USB serial adapters that survive a reboot: the links under
// /dev/serial/by-id, each naming one adapter by maker, model and serial
// number, where /dev/ttyUSB0 goes to whichever adapter the kernel finds first.
#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace vantoro {

inline constexpr const char *SERIAL_BY_ID_FOLDER = "/dev/serial/by-id";

struct StablePortName
{
    QString path;    // the link, e.g. /dev/serial/by-id/usb-FTDI_..-if00-port0
    QString device;  // what it points to now, e.g. /dev/ttyUSB0
};

// The links in `folder` (a missing folder has none), sorted by name.
QList<StablePortName> stablePortNames(const QString &folder = QString::fromLatin1(SERIAL_BY_ID_FOLDER));
// The stable name of `device`, empty when it has none (or is one already).
QString stableNameOf(const QString &device, const QList<StablePortName> &names);

// The system's ports with the stable names put ahead of the devices they
// point to; each stable name takes its device's description, with the device.
void addStableNames(QStringList &devices, QHash<QString, QString> &descriptions,
                    const QList<StablePortName> &names);

} // namespace vantoro
