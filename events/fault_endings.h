// The end of a fault: a parameter that was at fault and no longer is gets an
// event of its own, so the event list shows how long each fault lasted.
#pragma once

#include "acquisition/param_table.h"

#include <QSet>
#include <QStringList>

namespace vantoro {

class FaultEndings
{
public:
    // The texts of the faults present at the last update and gone now; a
    // parameter switched off or unwatched meanwhile has not come back.
    QStringList update(const ParamTable &table);
    void reset() { m_faulty.clear(); }

private:
    QSet<int> m_faulty;
};

// "<name>=<value> <unit> back within limits" in the interface language.
QString faultEndText(const ParamRecord &p);

} // namespace vantoro
