// Opening the manual.
#include "ui/manual_opener.h"

#include "core/localisation.h"
#include "core/message_service.h"
#include "ui/dialogs/dialog_controls.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace vantoro {

namespace {

const QString section = QStringLiteral("frmMain");

void reportNoViewer(const QString &path)
{
    const QString text = formText(section, QStringLiteral("msgNoPdfViewer"),
                                  QStringLiteral("No program to show PDF files was found.\r\nThe manual is here:"));
    messages().show(stationTitle(), text + QStringLiteral("\r\n") + QDir::toNativeSeparators(path), MessageIcon::Information);
}

} // namespace

void openManualFile(const QString &path, QObject *owner)
{
    if (!QFileInfo::exists(path)) {
        const QString text = formText(section, QStringLiteral("msgNoManual"), QStringLiteral("The manual was not found:"));
        messages().show(stationTitle(), text + QStringLiteral("\r\n") + QDir::toNativeSeparators(path),
                        MessageIcon::Warning);
        return;
    }
#ifdef Q_OS_WIN
    Q_UNUSED(owner);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        reportNoViewer(path);
#else
    // xdg-open tells by its exit code whether a viewer took the file; the
    // desktop services call only reports whether xdg-open itself started.
    auto *opener = new QProcess(owner);
    QObject::connect(opener, &QProcess::finished, opener, [opener, path](int code, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit || code != 0)
            reportNoViewer(path);
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, path](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart) {
            reportNoViewer(path);
            opener->deleteLater();
        }
    });
    opener->start(QStringLiteral("xdg-open"), {path});
#endif
}

} // namespace vantoro
