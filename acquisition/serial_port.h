// The operations the polling code needs of a serial port, so the station
// runs on QSerialPort and the tests on an in-memory fake.
#pragma once

#include "core/common.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantoro {

class SerialPort
{
public:
    virtual ~SerialPort() = default;

    virtual bool open() = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // "9600,N,8,1"-style settings and the port number (1 = COM1).
    virtual bool setSettings(const QString &settings) = 0;
    virtual QString settings() const = 0;
    virtual void setPortNumber(int portNumber) = 0;
    virtual int portNumber() const = 0;
    // Discards pending input and output.
    virtual void flush() = 0;
    virtual int bytesWaiting() = 0;
    virtual std::optional<quint8> readByte() = 0;
    virtual QByteArray readAll() = 0;
    virtual bool write(const QByteArray &bytes) = 0;
    // Lets events run for up to `milliseconds`; a port that can tell when
    // bytes come in ends the wait then, so a reply wait ends on its last byte.
    virtual void waitForInput(int milliseconds) { pauseMs(milliseconds); }
    // The last error, empty when none.
    virtual QString errorText() const = 0;
};

} // namespace vantoro
