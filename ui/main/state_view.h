// The state view (picState): the power-flow diagram with its value labels,
// flow lines, current bar, temperature sliders, LED display and counter.
#pragma once

#include "ui/main/shown_table.h"

#include <QHash>
#include <QWidget>

class QLabel;
class QProgressBar;
class QSlider;

namespace vantoro {

class AniLine;
class NumberLedMeter;
class OdoMeter;
class SliderTemp;
class StateDiagram;

// Sets a bar to 0..100 and to the percentage of `s0` between `s1` and `s2`
// (0 when the two are equal); the exact position stays in the bar's
// property "position".
void setBarValue(QProgressBar *oBar, float s0, float s1, float s2);
// Places `ctlX` on `objBase` in proportion to the design geometry in both
// "Tag"s; font size follows the new height. Counters keep their size and
// take new digit sizes instead.
void resizeControl(QWidget *objBase, QWidget *ctlX, double leftOff, double topOff);
// The numeric display's four size properties from its own size.
void resizeCSTNumLed(NumberLedMeter *ledX);

class StateView : public QWidget, public ShownTable
{
public:
    explicit StateView(QWidget *parent = nullptr);

    void refreshPicState();
    void checkWorkMode();
    // Writes every control's design geometry into its "Tag".
    void saveDesignGeometry();
    // The picture over the area (a little taller than it) and every control
    // placed in proportion.
    void layoutControls();
    // Captions drawn on the diagram and those of caption labels, in the
    // current language.
    void updateCaptions();

    QLabel *label(const QString &name, int index = -1) const;
    AniLine *flowLine(int index) const;     // AniLine2(index)
    AniLine *cableLine(int index) const;    // AniLine1(index)
    AniLine *meterLine() const { return m_aniLineMeter; }
    QProgressBar *bar() const { return m_barI; }
    QSlider *slider() const { return m_slider1; }
    NumberLedMeter *led() const { return m_led; }
    OdoMeter *odometer() const { return m_odo; }
    SliderTemp *sliderTemp() const { return m_sliderTemp; }
    SliderTemp *sliderTempModule() const { return m_sliderTempModule; }
    StateDiagram *diagram() const { return m_imgState; }

private:
    QLabel *makeLabel(const char *name, int index, Qt::Alignment align, const QRectF &design);
    void place(QWidget *w, const QRectF &design);
    void setValueLabel(QLabel *label, int id);
    void sliderMoved(int position);

    StateDiagram *m_imgState = nullptr;
    QHash<QString, QLabel *> m_labels;
    AniLine *m_aniLine1[2] = {};
    AniLine *m_aniLine2[2] = {};
    AniLine *m_aniLineMeter = nullptr;
    QProgressBar *m_barI = nullptr;
    QSlider *m_slider1 = nullptr;
    NumberLedMeter *m_led = nullptr;
    OdoMeter *m_odo = nullptr;
    SliderTemp *m_sliderTemp = nullptr;
    SliderTemp *m_sliderTempModule = nullptr;
    QList<QWidget *> m_placed;
    QHash<QWidget *, QRectF> m_design;
};

} // namespace vantoro
