// Ties the simulator together: bytes from the line go through the request
// parser to the device with the request's address, replies through the pacer
// back to the line; set and control frames go to the record file.
#pragma once

#include "device_model.h"
#include "output_pacer.h"
#include "request_parser.h"
#include "sim_options.h"

#include <QFile>
#include <QObject>
#include <memory>
#include <vector>

namespace vantoro::sim {

class DeviceLink;

class Simulator : public QObject
{
    Q_OBJECT

public:
    Simulator(const SimOptions &options, DeviceLink &link, QObject *parent = nullptr);

    // Opens the record file and reads the scenario once; the error text on failure.
    std::optional<QString> start();

private:
    void onReceived(const QByteArray &bytes);
    void handle(const Request &request, qint64 endNs);
    DeviceModel *addressedDevice(const Request &request);
    void reloadScenario();
    void record(const QString &kind, const QByteArray &bytes);
    void trace(const QString &text) const;
    double secondsRunning() const;

    SimOptions m_options;
    DeviceLink &m_link;
    std::vector<DeviceModel> m_devices; // in line order
    RequestParser m_parser;
    OutputPacer m_pacer;
    QFile m_record;
    QByteArray m_scenarioText;
    bool m_scenarioRead = false;
    bool m_scenarioReadable = false;
    qint64 m_lastByteNs = -1;
    qint64 m_inboundWireNs = 0;
};

} // namespace vantoro::sim
