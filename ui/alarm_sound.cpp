// Alarm tone output through Qt Multimedia.
#include "ui/alarm_sound.h"

#include "core/tone.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QPointer>

namespace vantoro {

AlarmSound::AlarmSound(QObject *owner)
    : QObject(owner)
{
}

AlarmSound::~AlarmSound()
{
    if (m_sink)
        m_sink->stop();
    m_sink.reset();
    m_buffer.close();
}

AlarmSound *AlarmSound::instance()
{
    static QPointer<AlarmSound> sound;
    if (!sound && QCoreApplication::instance())
        sound = new AlarmSound(QCoreApplication::instance());
    return sound;
}

bool AlarmSound::playTone(int frequencyHz)
{
    if (qEnvironmentVariableIsSet("VANTORO_NO_AUDIO"))
        return false;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull() || frequencyHz <= 0)
        return false;
    QAudioFormat format;
    format.setSampleRate(TONE_SAMPLE_RATE);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format))
        return false;
    if (m_sink)
        m_sink->stop();
    m_buffer.close();
    m_samples = generateTone(frequencyHz, ALARM_TONE_MS);
    m_buffer.setData(m_samples);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->start(&m_buffer);
    return m_sink->error() == QAudio::NoError;
}

} // namespace vantoro
