// Rules of the live display that need no widget: bar position, flow speed,
// meter auto-range, flow-line visibility, the animated line's phases and the
// instruments' value-to-position maths.
#pragma once

#include <QList>

namespace vantoro {

// Percent 0..100 of `value` between `low` and `high` (single precision, as
// the bar takes it); 0 when the two limits are equal.
float barPosition(float value, float low, float high);
// The current line's animation speed for a bar position: 101 - position,
// truncated; above 100 (no current) it is 0, the line stands still.
int flowSpeed(double barPos);
// A meter's upper scale bound after showing `value`: raised to 1.3 x value
// unless it is already above value + 1.1; it never shrinks.
double meterUpperBound(double upper, double value);
// A flow line shows while its value is above 0.1.
bool flowVisible(double value);

// The animated line: segments 0..n where n is how many whole segments fit.
int aniLineSegmentCount(double length, double segmentLength);
// The next phase 0..2: forward 0,1,2,0,...; backward 2,1,0,2,...
int aniLineNextPhase(int phase, bool backward);
// The step interval in ms for a line's speed: 0 or less stands still (0),
// 1 is the fastest step and 100 the slowest.
int aniLineIntervalForSpeed(int speed);
// Every third segment, those whose index modulo 3 is the phase, is the gap.
bool aniLineSegmentShown(int index, int phase);

// Meter dial: the needle's angle in degrees (counter-clockwise from 3
// o'clock) over a 240-degree sweep; values beyond the scale stop a little
// past its ends.
inline constexpr double METER_START_ANGLE = 210.0;
inline constexpr double METER_SWEEP = 240.0;
double meterAngle(double value, double lower, double upper);
// Round tick values for a scale: steps of 1, 2 or 5 times a power of ten,
// about `targetCount` of them, all inside lower..upper.
QList<double> meterTicks(double lower, double upper, int targetCount = 5);

// Fraction 0..1 of the way from `low` to `high`.
double scaleFraction(double value, double low, double high);

// A counter's wheels: `wheels` digits of the value times 10^decimals
// (the lowest wheel first in the list is the leftmost), and how far the
// lowest wheel has turned towards its next digit (0..1).
struct OdometerReading
{
    QList<int> digits;
    double roll = 0;
};
OdometerReading odometerReading(double value, int wheels, int decimals);

} // namespace vantoro
