// Shared helpers of the administration dialogs.
#include "ui/dialogs/dialog_controls.h"

#include "core/localisation.h"
#include "core/system_settings.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace vantoro {

QString stationTitle()
{
    return QStringLiteral("Vantoro");
}

QString localText(const QString &chinese, const QString &english)
{
    return sysSettings.languageIndex == LANGUAGE_ENGLISH ? english : chinese;
}

void setControlName(QWidget *control, const QString &name, int index)
{
    control->setObjectName(name);
    if (index >= 0)
        control->setProperty("index", index);
}

QPushButton *namedButton(const QString &name, const QString &caption, QWidget *parent, int index)
{
    auto *button = new QPushButton(caption, parent);
    setControlName(button, name, index);
    button->setAutoDefault(false);
    return button;
}

QLabel *namedLabel(const QString &name, const QString &caption, QWidget *parent, int index)
{
    auto *label = new QLabel(caption, parent);
    setControlName(label, name, index);
    return label;
}

QCheckBox *namedCheckBox(const QString &name, const QString &caption, QWidget *parent, int index)
{
    auto *box = new QCheckBox(caption, parent);
    setControlName(box, name, index);
    return box;
}

QComboBox *namedCombo(const QString &name, bool freeText, QWidget *parent, int index)
{
    auto *combo = new QComboBox(parent);
    setControlName(combo, name, index);
    combo->setEditable(freeText);
    if (freeText)
        combo->setInsertPolicy(QComboBox::NoInsert);
    return combo;
}

bool selectEntry(QComboBox *combo, const QString &text)
{
    const int position = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (position < 0)
        return false;
    combo->setCurrentIndex(position);
    return true;
}

} // namespace vantoro
