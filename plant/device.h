// One device on the line: its row of `devices`, its parameter table, its
// link state and the rules that follow each of its cycles.
#pragma once

#include "acquisition/param_table.h"
#include "core/device_store.h"
#include "core/station_bus.h"
#include "events/after_cycle.h"
#include "events/device_sleep.h"

#include <QDateTime>
#include <QList>
#include <QString>

namespace vantoro {

// What the poll path knows of a device's link.
struct LinkState
{
    int linkOk = 1;
    DeviceSleep sleep;
    QList<PollResult> attempts;     // of the last cycle
    bool cycleDecoded = false;      // the last cycle stored a reply
    int replyReceived = 0;
    int lastReplyAddr = 0;
    QDateTime lastReplyTime;        // of any reply
    QDateTime lastGoodReplyTime;    // of the last reply that was decoded
};

// The device of a plant of one, as an old database has it.
DeviceRecord plantOfOneRecord();

class Device
{
public:
    // Without a record: device "001" of a plant of one.
    explicit Device(DeviceRecord record = plantOfOneRecord());
    Device(const Device &) = delete;
    Device &operator=(const Device &) = delete;

    const DeviceRecord &record() const { return m_record; }
    void setRecord(const DeviceRecord &record) { m_record = record; }
    const QString &id() const { return m_record.id; }
    const QString &name() const { return m_record.name; }
    // "(name)", as status messages end.
    QString suffix() const;

    ParamTable &table() { return m_table; }
    const ParamTable &table() const { return m_table; }
    bool loadTable() { return loadParamTable(m_table, m_record.id); }
    bool saveValues() const { return saveParamValues(m_table, m_record.id); }

    LinkState &link() { return m_link; }
    const LinkState &link() const { return m_link; }
    bool linkUp() const { return m_link.linkOk == 1; }
    AfterCycleRules &rules() { return m_rules; }

private:
    DeviceRecord m_record;
    ParamTable m_table;
    LinkState m_link;
    AfterCycleRules m_rules;
};

} // namespace vantoro
