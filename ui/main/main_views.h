// The view area of the main window (PicView): the state diagram, the
// parameter grid, the meters and the trend charts, one visible at a time.
#pragma once

#include <QWidget>

namespace vantoro {

class Device;
class GridView;
class MeterView;
class PlantView;
class StateView;
class TrendView;

inline constexpr int VIEW_STATE = 0;
inline constexpr int VIEW_GRID = 1;
inline constexpr int VIEW_METER = 2;
inline constexpr int VIEW_TREND = 3;
// Every device of the line at once.
inline constexpr int VIEW_PLANT = 4;
inline constexpr int VIEW_COUNT = 5;

class MainViews : public QWidget
{
public:
    explicit MainViews(QWidget *parent = nullptr);

    // Hides every view, then shows and refreshes the one of `mode`; any
    // other value leaves none visible.
    void showView(int mode);
    int visibleView() const;
    // The device the views show; its table is read at every refresh. A
    // change of device starts the trend lines afresh.
    void setDevice(const Device *device);
    // Redraws the visible views; the trend charts always take their sample.
    void refreshViews();
    void refreshPicState();
    void refreshGrid();
    void refreshPicMeter();
    void refreshPicTrend();
    // Shows the two flow lines of the diagram while their currents flow.
    void checkWorkMode();
    // Rebuilds the grid rows from the parameter table; the captions of the
    // diagram follow the language as well.
    void createStructure();
    void setPicTrendBounds();
    // Sets the meters' scales from the parameter limits (at load).
    void setupMeters();
    // Records every control's design geometry (at load).
    void saveDesignGeometry();
    // Lays the views out in the current size.
    void layoutViews();

    QWidget *picState() const;
    QWidget *grid() const;
    QWidget *picMeter() const;
    QWidget *picTrend() const;
    StateView *stateView() const { return m_picState; }
    GridView *gridView() const { return m_grid; }
    MeterView *meterView() const { return m_picMeter; }
    TrendView *trendView() const { return m_picTrend; }
    PlantView *plantView() const { return m_plant; }

protected:
    void resizeEvent(QResizeEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    StateView *m_picState = nullptr;
    GridView *m_grid = nullptr;
    MeterView *m_picMeter = nullptr;
    TrendView *m_picTrend = nullptr;
    PlantView *m_plant = nullptr;
};

} // namespace vantoro
