// Opens the operator's manual (a PDF beside the program) in the desktop's
// PDF viewer, and says so in a message giving the file's path when the file
// or a viewer is missing, rather than failing silently.
#pragma once

#include <QString>

class QObject;

namespace vantoro {

void openManualFile(const QString &path, QObject *owner);

} // namespace vantoro
