// Window-system routines shared by the forms.
#include "ui/form_utils.h"

#include "core/common.h"
#include "core/message_service.h"
#include "core/system_settings.h"
#include "ui/alarm_sound.h"

#include <QApplication>
#include <QDesktopServices>
#include <QPointer>
#include <QScreen>
#include <QUrl>
#include <QWidget>

namespace vantoro {

void setBusyCursor(bool on)
{
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()))
        return;
    // The override stack is kept at one entry so on/off pairs can't drift.
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (on)
        QApplication::setOverrideCursor(Qt::WaitCursor);
}

void showForm(QWidget *form, QWidget *owner, bool modal)
{
    if (!form)
        return;
    if (owner && form->parentWidget() != owner) {
        const Qt::WindowFlags flags = form->windowFlags();
        form->setParent(owner, flags | Qt::Window);
    }
    if (form->isMinimized())
        form->showNormal();
    if (modal) {
        form->setWindowModality(Qt::ApplicationModal);
        form->show();
        form->raise();
        form->activateWindow();
        // A form that deletes itself on close is gone once the wait's event
        // loop has run its deferred delete.
        const QPointer<QWidget> shown(form);
        while (shown && shown->isVisible() && !quitRequested)
            pauseMs(10);
        return;
    }
    form->show();
    form->raise();
    form->activateWindow();
}

void centerForm(QWidget *form)
{
    if (!form)
        return;
    const QScreen *screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    form->move(area.x() + (area.width() - form->width()) / 2, area.y() + (area.height() - form->height()) / 2);
}

bool isFormLoaded(const QString &text)
{
    const auto windows = QApplication::topLevelWidgets();
    for (const QWidget *w : windows) {
        if (w->objectName().contains(text, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

int controlIndex(const QObject *control)
{
    if (!control)
        return -1;
    const QVariant index = control->property("index");
    return index.isValid() ? index.toInt() : -1;
}

bool hasIndex(const QObject *control)
{
    return controlIndex(control) >= 0;
}

bool hasCaptionText(const QObject *control)
{
    return control && control->property("CaptionText").isValid();
}

bool confirmYesNo(const QString &title, const QString &text)
{
    return messages().askYesNo(title, text);
}

bool openDocument(const QString &path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void alarmBeep(int frequencyHz)
{
    if (!isWinNT() || sysSettings.usesoundcard != 0) {
        messages().beep();
        return;
    }
    AlarmSound *sound = AlarmSound::instance();
    if (!sound || !sound->playTone(frequencyHz))
        messages().beep();
}

} // namespace vantoro
