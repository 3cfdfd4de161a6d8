// The meter view.
#include "ui/main/meter_view.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "acquisition/param_table.h"
#include "core/display_rules.h"
#include "core/view_layout.h"
#include "events/status_evaluation.h"
#include "ui/controls/meter_gauge.h"
#include "ui/main/view_captions.h"
#include "ui/twips.h"

namespace vantoro {

namespace {

constexpr double LOAD_SCALE_FACTOR = 1.5;
constexpr int P_VAC = 2, P_IAC = 3;

double upperLimit(const ParamTable &table, int id)
{
    return isParamSlot(id) ? table[size_t(id)].rangeu.value_or(0.0) : 0.0;
}

} // namespace

MeterView::MeterView(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("picMeter"));
    for (int i = 0; i < METERS; ++i) {
        auto *m = new MeterGauge(this);
        m->setObjectName(QStringLiteral("Meter1"));
        m->setProperty("index", i);
        m_meters[size_t(i)] = m;
    }
}

MeterGauge *MeterView::meter(int index) const
{
    return index >= 0 && index < METERS ? m_meters[size_t(index)] : nullptr;
}

void MeterView::setupMeters()
{
    for (int i = 0; i < int(meterParams.size()); ++i) {
        const int id = meterParams[size_t(i)];
        const ParamRecord &p = table()[size_t(id)];
        MeterGauge *m = m_meters[size_t(i)];
        const double upper = upperLimit(table(), id) * LOAD_SCALE_FACTOR;
        m->setScale(0, upper);
        m->setRange(0, upper);
        m->setCaption(parameterName(p));
        m->setUnit(p.unit);
        m->setValueFormat(p.isstring == 0 ? p.dataformat : QString());
    }
    MeterGauge *power = m_meters[5];
    const double upper = upperLimit(table(), P_VAC) * upperLimit(table(), P_IAC);
    power->setScale(0, upper);
    power->setRange(0, upper);
    power->setCaption(viewCaption(QStringLiteral("Meter1[5]"), "AC Power", "交流输出功率"));
    power->setUnit(QStringLiteral("W"));
    power->setValueFormat(QStringLiteral("###,###,###0"));
}

void MeterView::refreshPicMeter()
{
    for (int i = 0; i < int(meterParams.size()); ++i) {
        const int id = meterParams[size_t(i)];
        MeterGauge *m = m_meters[size_t(i)];
        const double value = numericValue(table(), id);
        const double upper = meterUpperBound(m->upperBound(), value);
        if (upper != m->upperBound()) {
            m->setUpperBound(upper);
            m->setRange(m->rangeMin(), upper);
        }
        m->setValue(value);
        m->setValueColor(getCellColor(table(), id));
        const QString unit = table()[size_t(id)].unit + calibrationMarker(table(), id);
        if (m->unit() != unit)
            m->setUnit(unit);
        const QString tip = calibratedToolTip(table(), id);
        if (m->toolTip() != tip)
            m->setToolTip(tip);
    }
    MeterGauge *power = m_meters[5];
    const double upper = upperLimit(table(), P_VAC) * upperLimit(table(), P_IAC);
    power->setUpperBound(upper);
    power->setValue(numericValue(table(), P_VAC) * numericValue(table(), P_IAC));
    power->setRange(power->rangeMin(), upper);
}

void MeterView::resizeMeter()
{
    const auto rects = meterRects(pxToTwips(width(), this), pxToTwips(height(), this));
    for (int i = 0; i < METERS; ++i) {
        const QRectF &r = rects[size_t(i)];
        const int left = twipsToPx(r.left(), this);
        const int top = twipsToPx(r.top(), this);
        m_meters[size_t(i)]->setGeometry(left, top, twipsToPx(r.right(), this) - left, twipsToPx(r.bottom(), this) - top);
    }
}

} // namespace vantoro
