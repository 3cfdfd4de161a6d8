// The Plant view: the plant's totals on top and one tile per device on the
// line (state bulb, name and id, output power, today's yield, running
// faults), fed by the station bus; a click on a tile chooses its device.
#pragma once

#include "core/station_bus.h"
#include "ui/language.h"
#include "web/station_snapshot.h"

#include <QHash>
#include <QList>
#include <QWidget>

class QGridLayout;
class QLabel;
class QScrollArea;

namespace vantoro {

class PlantTile;

// The bulb image of a device as the window's state bulb chooses it: blue
// when its link is lost, red on a fault, grey asleep, green ("bulble") up.
// A device not polled (disabled, or no report yet) is grey.
QString deviceBulb(const CycleReport *report, bool enabled);

class PlantView : public QWidget, public LanguageAware
{
    Q_OBJECT
public:
    explicit PlantView(StationBus &bus, QWidget *parent = nullptr);
    ~PlantView() override;

    // Tiles and totals again from what the bus holds.
    void refreshPlant();
    // Marks the tile of the device the window shows.
    void setSelectedId(const QString &id);
    QString selectedId() const { return m_selected; }
    // The devices with a tile, in line order.
    QStringList tileIds() const;
    // The bulb image key a tile shows; empty for a device without a tile.
    QString bulbOf(const QString &id) const;
    // Today's yield of a device so far; none before its first reply today.
    std::optional<double> todayYieldKwh(const QString &id) const;
    int columnCount() const { return m_columns; }

    void languageApplied(int language) override;

signals:
    void deviceChosen(const QString &id);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Tiles are not redrawn while hidden; showing brings them up to date.
    void showEvent(QShowEvent *event) override;

private:
    void cycleFinished(const CycleReport &report);
    void devicesChanged();
    void showTotals();
    void layTiles(bool force);
    QList<DeviceInfo> lineDevices() const;

    StationBus &m_bus;
    QLabel *m_power = nullptr;
    QLabel *m_today = nullptr;
    QLabel *m_energy = nullptr;
    QLabel *m_up = nullptr;
    QScrollArea *m_scroll = nullptr;
    QWidget *m_tileArea = nullptr;
    QGridLayout *m_grid = nullptr;
    QList<PlantTile *> m_tiles;
    QHash<QString, TodayYield> m_yields;
    QString m_selected;
    int m_columns = 0;
};

} // namespace vantoro
