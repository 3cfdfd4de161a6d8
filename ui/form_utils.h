// Common routines that need the window system: pointer, forms, questions,
// documents and the alarm beep.
#pragma once

#include <QString>

class QWidget;
class QObject;

namespace vantoro {

void setBusyCursor(bool on);
void showForm(QWidget *form, QWidget *owner = nullptr, bool modal = false);
void centerForm(QWidget *form);
bool isFormLoaded(const QString &text);
bool hasIndex(const QObject *control);
int controlIndex(const QObject *control); // -1 when not a member of an array
bool hasCaptionText(const QObject *control);
bool confirmYesNo(const QString &title, const QString &text);
bool openDocument(const QString &path);
// The alarm sound: a tone of `frequencyHz` for 500 ms on the tone path, the
// system beep when `usesoundcard` is set or no audio device is there.
void alarmBeep(int frequencyHz);

} // namespace vantoro
