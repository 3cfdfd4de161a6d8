// Stable names of USB serial adapters.
#include "acquisition/stable_port_names.h"

#include <QDir>
#include <QFileInfo>

namespace vantoro {

QList<StablePortName> stablePortNames(const QString &folder)
{
    QList<StablePortName> names;
    const QDir dir(folder);
    const QFileInfoList links = dir.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &link : links) {
        if (!link.isSymLink())
            continue;
        // A link whose adapter is gone points nowhere; it is no port to offer.
        const QString device = link.canonicalFilePath();
        if (!device.isEmpty())
            names.append({link.absoluteFilePath(), device});
    }
    return names;
}

QString stableNameOf(const QString &device, const QList<StablePortName> &names)
{
    const QString canonical = QFileInfo(device).canonicalFilePath();
    for (const StablePortName &name : names) {
        if (name.path == device)
            return QString();
        if (name.device == device || (!canonical.isEmpty() && name.device == canonical))
            return name.path;
    }
    return QString();
}

void addStableNames(QStringList &devices, QHash<QString, QString> &descriptions, const QList<StablePortName> &names)
{
    QStringList stable;
    for (const StablePortName &name : names) {
        if (!devices.contains(name.device) || devices.contains(name.path) || stable.contains(name.path))
            continue;
        stable << name.path;
        const QString description = descriptions.value(name.device);
        descriptions.insert(name.path, description.isEmpty() ? name.device : description + QStringLiteral(", ") + name.device);
    }
    devices = stable + devices;
}

} // namespace vantoro
