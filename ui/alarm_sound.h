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
    // The one tone player, a child of the application: it is gone with the
    // application, never after it. Null without an application.
    static AlarmSound *instance();
    ~AlarmSound() override;
    // False when no audio output is there; the caller beeps instead.
    bool playTone(int frequencyHz);

private:
    explicit AlarmSound(QObject *owner);
    // Declared in this order so the sink, which reads the buffer, goes first.
    QByteArray m_samples;
    QBuffer m_buffer;
    std::unique_ptr<QAudioSink> m_sink;
};

} // namespace vantoro
