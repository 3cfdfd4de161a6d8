// Display text of parameter values.
#include "acquisition/param_format.h"

#include "acquisition/param_names.h"
#include "acquisition/param_table.h"
#include "core/common.h"
#include "core/localisation.h"
#include "core/number_format.h"

namespace vantoro {

namespace {

bool usesPattern(const ParamRecord &p)
{
    return p.isstring == 0 && !p.dataformat.isEmpty();
}

} // namespace

QString formatParaField(const ParamTable &table, int id, int column)
{
    if (!isParamSlot(id))
        return QString();
    const ParamRecord &p = table[size_t(id)];
    const QString stored = variantText(p.field(column));
    // An empty limit stays empty rather than reading as a formatted zero.
    if (column == COL_PARAVALUE && p.isstring != 0)
        return parameterStatusText(p, stored);
    if (!usesPattern(p) || stored.trimmed().isEmpty())
        return stored;
    return formatNumber(leadingNumber(stored), p.dataformat);
}

QString formatParaValue(const ParamTable &table, int id)
{
    if (!isParamSlot(id))
        return QString();
    const ParamRecord &p = table[size_t(id)];
    return usesPattern(p) ? formatNumber(p.number(), p.dataformat) : parameterValueText(p);
}

QString formatParaWithUnit(const ParamTable &table, int id)
{
    if (!isParamSlot(id))
        return QString();
    const ParamRecord &p = table[size_t(id)];
    return usesPattern(p) ? valueWithUnit(formatNumber(p.number(), p.dataformat), p.unit) : parameterValueText(p);
}

QString valueWithUnit(const QString &value, const QString &unit)
{
    const QString u = unit.trimmed();
    return u.isEmpty() ? value : value + QLatin1Char(' ') + u;
}

QString calibrationMarker(const ParamTable &table, int id)
{
    if (!isParamSlot(id) || !table[size_t(id)].rawReading)
        return QString();
    return QString(QLatin1Char(CALIBRATED_MARKER));
}

QString calibratedToolTip(const ParamTable &table, int id)
{
    if (!isParamSlot(id) || !table[size_t(id)].rawReading)
        return QString();
    const ParamRecord &p = table[size_t(id)];
    const double raw = *p.rawReading;
    const QString reading = (usesPattern(p) ? formatNumber(raw, p.dataformat) : variantText(raw)) + p.unit;
    return formText(QStringLiteral("frmMain"), QStringLiteral("tipCalibrated"),
                    QStringLiteral("Computed from the AC output; the device read %1"))
        .arg(reading);
}

} // namespace vantoro
