// A pseudo-terminal pair: the simulator holds the master, the station opens the slave.
#pragma once

#include "device_link.h"

#include <optional>

class QSocketNotifier;

namespace vantoro::sim {

class PtyLink : public DeviceLink
{
    Q_OBJECT

public:
    explicit PtyLink(QObject *parent = nullptr);
    ~PtyLink() override;

    // Opens the pair; the error text on failure.
    std::optional<QString> open();
    QString path() const override { return m_path; }
    bool write(const QByteArray &bytes) override;
    bool pacedByHardware() const override { return false; }

private:
    void readAvailable();

    int m_master = -1;
    int m_slave = -1;
    QString m_path;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace vantoro::sim
