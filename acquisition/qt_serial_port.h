// The station's serial port: QSerialPort on the device mapped to the port
// number, driven without notifications (the poll reads what has arrived).
#pragma once

#include "acquisition/serial_port.h"

#include <QSerialPort>

namespace vantoro {

class QtSerialPort : public SerialPort
{
public:
    QtSerialPort();
    ~QtSerialPort() override;

    bool open() override;
    void close() override;
    bool isOpen() const override;
    bool setSettings(const QString &settings) override;
    QString settings() const override { return m_settings; }
    void setPortNumber(int portNumber) override { m_portNumber = portNumber; }
    int portNumber() const override { return m_portNumber; }
    // A device to open instead of the one mapped to the port number (a
    // path typed in the settings dialog and not yet saved).
    void setDeviceName(const QString &device) { m_device = device; }
    void flush() override;
    int bytesWaiting() override;
    std::optional<quint8> readByte() override;
    QByteArray readAll() override;
    bool write(const QByteArray &bytes) override;
    void waitForInput(int milliseconds) override;
    QString errorText() const override { return m_error; }

    // Parses "9600,N,8,1"-style text; false for anything QSerialPort cannot use.
    struct LineSettings {
        qint32 baud = 9600;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };
    static std::optional<LineSettings> parseSettings(const QString &settings);

private:
    bool applySettings();
    void pullIn();
    void onError(QSerialPort::SerialPortError error);

    QSerialPort m_port;
    QString m_settings = QStringLiteral("9600,N,8,1");
    LineSettings m_line;
    int m_portNumber = 1;
    QString m_device;
    QString m_error;
    bool m_discardOnOpen = false;
};

} // namespace vantoro
