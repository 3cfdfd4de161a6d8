// The parameter table a view shows: the selected device's, handed in by the
// window, so no view reaches for a device of its own.
#pragma once

#include "acquisition/param_table.h"

#include <QString>

namespace vantoro {

class ShownTable
{
public:
    void setTable(const ParamTable *table, const QString &deviceId = QString())
    {
        m_table = table;
        m_deviceId = deviceId;
    }
    // The device whose reports the view takes; empty: any.
    const QString &deviceId() const { return m_deviceId; }
    bool shows(const QString &deviceId) const { return m_deviceId.isEmpty() || m_deviceId == deviceId; }
    const ParamTable &table() const
    {
        // Before a device is handed in the view shows an empty table.
        static const ParamTable empty{};
        return m_table ? *m_table : empty;
    }

private:
    const ParamTable *m_table = nullptr;
    QString m_deviceId;
};

} // namespace vantoro
