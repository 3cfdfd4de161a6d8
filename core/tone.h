// The alarm tone as PCM samples, generated rather than stored.
#pragma once

#include <QByteArray>

namespace vantoro {

inline constexpr int TONE_SAMPLE_RATE = 44100;
inline constexpr int ALARM_TONE_MS = 500;

// Signed 16-bit mono samples of a sine of `frequencyHz`, faded in and out
// over a few milliseconds so the tone starts and ends without a click.
QByteArray generateTone(int frequencyHz, int durationMs, int sampleRate = TONE_SAMPLE_RATE);

} // namespace vantoro
