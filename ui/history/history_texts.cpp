#include "ui/history/history_texts.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "events/event_log.h"

#include <QDir>
#include <QFileDialog>

namespace vantoro {

QString historyText(const char *key)
{
    return langText(QStringLiteral("History"), QString::fromLatin1(key));
}

void exportWithDialog(QWidget *over, const QString &suggestedName, const QString &filter,
                      const std::function<bool(const QString &path, QString *error)> &write)
{
    const QString path = QFileDialog::getSaveFileName(over, historyText("cmdExport"), suggestedName, filter);
    if (path.isEmpty())
        return;
    QString error;
    if (write(path, &error)) {
        // Said where it can be seen: the status bar may be hidden behind this window.
        const QString done = historyText("msgExportDone") + QLatin1Char(' ') + QDir::toNativeSeparators(path);
        logStatus(done);
        messages().show(over ? over->windowTitle() : historyText("Caption"), done, MessageIcon::Information);
    } else
        messages().show(historyText("Caption"), historyText("msgExportFailed") + error + QLatin1Char('\n') + path,
                        MessageIcon::Warning);
}

QString askPdfPath(QWidget *over, const QString &title)
{
    QString path = QFileDialog::getSaveFileName(over, title, QString(), QStringLiteral("PDF (*.pdf)"));
    if (!path.isEmpty() && !path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive))
        path += QLatin1String(".pdf");
    return path;
}

} // namespace vantoro
