// Sine tone generator for the alarm sound.
#include "core/tone.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace vantoro {

QByteArray generateTone(int frequencyHz, int durationMs, int sampleRate)
{
    const int count = std::max(0, int(qint64(sampleRate) * durationMs / 1000));
    const int fade = std::min(count / 2, sampleRate / 200); // 5 ms
    QByteArray out(count * 2, Qt::Uninitialized);
    const double step = 2.0 * std::numbers::pi * frequencyHz / sampleRate;
    for (int i = 0; i < count; ++i) {
        double gain = 0.5;
        if (fade > 0 && i < fade)
            gain *= double(i) / fade;
        else if (fade > 0 && i >= count - fade)
            gain *= double(count - 1 - i) / fade;
        const qint16 sample = qint16(std::lround(std::sin(step * i) * gain * 32767.0));
        qToLittleEndian(sample, out.data() + 2 * i);
    }
    return out;
}

} // namespace vantoro
