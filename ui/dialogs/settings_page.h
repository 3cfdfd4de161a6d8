// A page of the system settings dialog for one service (history, web, MQTT,
// mail): it loads its fields from the settings, checks them, and saves them
// when the dialog saves.
#pragma once

#include <QList>
#include <QString>
#include <QWidget>

namespace vantoro {

class SettingsPage : public QWidget
{
public:
    using QWidget::QWidget;

    // The tab's caption in the current language.
    virtual QString title() const = 0;
    // Copies the stored settings into the fields.
    virtual void load() = 0;
    // Empty when every field is acceptable; otherwise a message naming the
    // field and its range. Called for every page before anything is saved.
    virtual QString validate() const = 0;
    // Writes the fields into the in-memory settings (and a table of its own,
    // if it has one); false after a failure that was already reported. The
    // dialog then writes the system settings record once, which tells every
    // service to re-read its settings.
    virtual bool save() = 0;
};

// Every service page, in tab order; the dialog owns them.
QList<SettingsPage *> createSettingsPages(QWidget *parent);

} // namespace vantoro
