// An in-memory serial port for tests: records what is written and delivers
// queued bytes, at once or after a delay, whole or in pieces.
#pragma once

#include "acquisition/serial_port.h"

#include <QElapsedTimer>
#include <QList>
#include <functional>

namespace vantoro {

class FakeSerialPort : public SerialPort
{
public:
    struct Write {
        QByteArray bytes;
        qint64 atMs; // since the fake was made
    };

    FakeSerialPort();

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    void setPortNumber(int portNumber) override { m_portNumber = portNumber; }
    int portNumber() const override { return m_portNumber; }
    void flush() override;
    int bytesWaiting() override;
    std::optional<quint8> readByte() override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes) override;
    QString errorText() const override { return m_error; }

    // Bytes the device sends, arriving `afterMs` from now. Bytes still on the
    // way are not discarded by flush(), as on a real line.
    void queueReply(const QByteArray &bytes, int afterMs = 0);
    // The same bytes arriving in pieces of `pieceSize`, `gapMs` apart.
    void queueInPieces(const QByteArray &bytes, int pieceSize, int gapMs);
    // Called after each write with everything written since the port was
    // opened; what it returns is queued as the device's answer.
    std::function<QByteArray(const QByteArray &sentSinceOpen)> device;
    // A delay before the device's answer arrives.
    int deviceDelayMs = 0;

    // Failures: a non-empty text makes open() or write() fail with it.
    QString openError;
    QString writeError;
    // setSettings() rejects texts that do not parse (or always, when set).
    bool rejectSettings = false;

    QList<Write> writes() const { return m_writes; }
    QByteArray written() const;
    void clearWritten() { m_writes.clear(); }
    int openCount() const { return m_openCount; }
    int flushCount() const { return m_flushCount; }

private:
    struct Pending {
        QByteArray bytes;
        qint64 dueMs;
    };
    void deliverDue();

    QElapsedTimer m_clock;
    bool m_open = false;
    QString m_settings;
    int m_portNumber = 0;
    QString m_error;
    QByteArray m_input;
    QList<Pending> m_pending;
    QList<Write> m_writes;
    QByteArray m_sentSinceOpen;
    int m_openCount = 0;
    int m_flushCount = 0;
};

} // namespace vantoro
