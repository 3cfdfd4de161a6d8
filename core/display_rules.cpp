// Rules of the live display.
#include "core/display_rules.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>

namespace vantoro {

namespace {

constexpr double METER_OVERSHOOT = 0.03; // of the scale, past either end
constexpr double FLOW_THRESHOLD = 0.1;
constexpr double AUTO_RANGE_HEADROOM = 1.1;
constexpr double AUTO_RANGE_FACTOR = 1.3;

} // namespace

float barPosition(float value, float low, float high)
{
    const float span = high - low;
    const float p = span != 0.0f ? (value - low) / span * 100.0f : 0.0f;
    if (p < 0.0f)
        return 0.0f;
    if (p > 100.0f)
        return 100.0f;
    return p;
}

int flowSpeed(double barPos)
{
    const int s = int(std::trunc(101.0 - barPos));
    return s > 100 ? 0 : s;
}

double meterUpperBound(double upper, double value)
{
    return upper > value + AUTO_RANGE_HEADROOM ? upper : value * AUTO_RANGE_FACTOR;
}

bool flowVisible(double value)
{
    return value > FLOW_THRESHOLD;
}

int aniLineSegmentCount(double length, double segmentLength)
{
    if (segmentLength <= 0 || length <= 0)
        return 1;
    return int(std::floor(length / segmentLength)) + 1;
}

int aniLineNextPhase(int phase, bool backward)
{
    if (!backward)
        return phase > 1 ? 0 : phase + 1;
    return phase < 1 ? 2 : phase - 1;
}

int aniLineIntervalForSpeed(int speed)
{
    if (speed <= 0)
        return 0;
    return 30 + 6 * qMin(speed, 100);
}

bool aniLineSegmentShown(int index, int phase)
{
    return index % 3 != phase;
}

double meterAngle(double value, double lower, double upper)
{
    const double span = upper - lower;
    double f = span != 0 ? (value - lower) / span : 0.0;
    f = std::clamp(f, -METER_OVERSHOOT, 1.0 + METER_OVERSHOOT);
    return METER_START_ANGLE - f * METER_SWEEP;
}

QList<double> meterTicks(double lower, double upper, int targetCount)
{
    QList<double> ticks;
    const double span = upper - lower;
    if (!(span > 0) || targetCount < 1 || !std::isfinite(span))
        return ticks;
    const double raw = span / targetCount;
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double step = magnitude;
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        step = m * magnitude;
        if (step >= raw)
            break;
    }
    const double first = std::ceil(lower / step - 1e-9) * step;
    for (double t = first; t <= upper + step * 1e-9; t += step)
        ticks << (std::fabs(t) < step * 1e-9 ? 0.0 : t);
    return ticks;
}

double scaleFraction(double value, double low, double high)
{
    const double span = high - low;
    if (span == 0)
        return 0.0;
    return std::clamp((value - low) / span, 0.0, 1.0);
}

OdometerReading odometerReading(double value, int wheels, int decimals)
{
    OdometerReading r;
    if (wheels < 1)
        return r;
    const double scaled = std::max(0.0, value) * std::pow(10.0, decimals);
    const double wrap = std::pow(10.0, wheels);
    const double shown = std::fmod(std::floor(scaled + 1e-9), wrap);
    r.roll = std::clamp(scaled - std::floor(scaled + 1e-9), 0.0, 1.0);
    qint64 n = qint64(shown);
    r.digits.resize(wheels);
    for (int i = wheels - 1; i >= 0; --i) {
        r.digits[i] = int(n % 10);
        n /= 10;
    }
    return r;
}

} // namespace vantoro
