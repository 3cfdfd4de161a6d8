// Plays the generated alarm tone through the default audio output.
#pragma once

#include <QBuffer>
#include <QObject>
#include <memory>

class QAudioSink;

namespace vantoro {

class AlarmSound : public QObject
{
public:
    static AlarmSound &instance();
    // False when no audio output is there; the caller beeps instead.
    bool playTone(int frequencyHz);

private:
    AlarmSound() = default;
    std::unique_ptr<QAudioSink> m_sink;
    QBuffer m_buffer;
    QByteArray m_samples;
};

} // namespace vantoro
