// The device selector of the toolbar: a pick-list of the devices on the line
// ("001 name"), fed by the station bus, with actions and shortcuts to step
// to the next and previous device. With one device the pick-list is
// hidden and takes no room, so a station of one looks as it always did.
#pragma once

#include "core/station_bus.h"

#include <QWidget>

class QAction;
class QComboBox;

namespace vantoro {

class DeviceSelector : public QWidget
{
    Q_OBJECT
public:
    explicit DeviceSelector(StationBus &bus, QWidget *parent = nullptr);

    // The device chosen; the first on the line when none was; empty
    // without devices.
    QString selectedId() const;
    // Chooses a device on the list; false, and nothing changes, for one
    // that is not on it.
    bool select(const QString &id);
    void selectNext();
    void selectPrevious();
    // Ctrl+PgDown and Ctrl+PgUp; the owner may also put them in a menu.
    QAction *nextAction() const { return m_next; }
    QAction *previousAction() const { return m_previous; }
    QComboBox *combo() const { return m_combo; }
    // The list again from the bus; the selection stays on its device while
    // that is on the line, else moves to the first (and says so).
    void devicesChanged();

signals:
    void selected(const QString &id);

private:
    void step(int by);
    void comboChosen(int index);

    StationBus &m_bus;
    QComboBox *m_combo = nullptr;
    QAction *m_next = nullptr;
    QAction *m_previous = nullptr;
    QString m_selected;
    bool m_filling = false;
};

} // namespace vantoro
