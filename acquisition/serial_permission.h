// What to tell the operator when the serial device may not be opened: the
// group that owns the device file on this system, which the user must join.
#pragma once

#include <QString>

namespace vantoro {

// The group owning the device file; empty when it cannot be read.
QString deviceGroup(const QString &device);
// The advice for a permission failure on `device`, in the current language.
QString serialPermissionAdvice(const QString &device);

} // namespace vantoro
