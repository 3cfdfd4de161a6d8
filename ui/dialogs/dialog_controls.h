// Small helpers the administration dialogs share: named controls (with their
// control-array index), the station's message title and texts that have no
// key in the language files.
#pragma once

#include <QString>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;

namespace vantoro {

// The title of message boxes that name no title of their own.
QString stationTitle();
// A text of the station's own for which the language files hold no key:
// English when the current language is English, Chinese otherwise.
QString localText(const QString &chinese, const QString &english);

// `index` < 0: a plain control; otherwise a member of the array `name`.
QPushButton *namedButton(const QString &name, const QString &caption, QWidget *parent, int index = -1);
QLabel *namedLabel(const QString &name, const QString &caption, QWidget *parent, int index = -1);
QCheckBox *namedCheckBox(const QString &name, const QString &caption, QWidget *parent, int index = -1);
// A combo box used either as a pick-list or as a free-text field.
QComboBox *namedCombo(const QString &name, bool freeText, QWidget *parent, int index = -1);
void setControlName(QWidget *control, const QString &name, int index = -1);

// Selects the entry whose text is `text`; false (selection unchanged) when
// the list has none.
bool selectEntry(QComboBox *combo, const QString &text);

} // namespace vantoro
