// Texts of the history window, from its section of the language files.
#pragma once

#include <QString>
#include <functional>

class QWidget;

namespace vantoro {

QString historyText(const char *key);
// Asks for a file name and writes it through `write`; reports the outcome
// in the status bar or a message box.
void exportWithDialog(QWidget *over, const QString &suggestedName, const QString &filter,
                      const std::function<bool(const QString &path, QString *error)> &write);
QString askPdfPath(QWidget *over, const QString &title);

} // namespace vantoro
