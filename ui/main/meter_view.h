// The meter view (picMeter): six meters in two rows of three, for DC
// voltage and current, module temperature, AC voltage and current, and AC
// power; their scales grow with the values they have to show.
#pragma once

#include "ui/main/shown_table.h"

#include <QWidget>
#include <array>

namespace vantoro {

class MeterGauge;

class MeterView : public QWidget, public ShownTable
{
public:
    static constexpr int METERS = 6;
    // The parameter each of meters 0..4 shows; meter 5 shows 2 x 3.
    static constexpr std::array<int, 5> meterParams = {4, 5, 6, 2, 3};

    explicit MeterView(QWidget *parent = nullptr);

    // Scales from the parameter limits and captions from the names (at load).
    void setupMeters();
    void refreshPicMeter();
    void resizeMeter();
    MeterGauge *meter(int index) const;

private:
    std::array<MeterGauge *, METERS> m_meters{};
};

} // namespace vantoro
