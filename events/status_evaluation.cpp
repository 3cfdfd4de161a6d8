// Status evaluation after each poll.
#include "events/status_evaluation.h"

#include "acquisition/param_format.h"
#include "acquisition/param_names.h"
#include "core/localisation.h"

#include <QStringList>

namespace vantoro {

namespace {

QString limitText(const std::optional<double> &limit)
{
    return limit ? variantText(*limit) : QString();
}

} // namespace

bool isFaulty(const ParamRecord &p)
{
    if (p.enabled == 0 || p.warningenabled == 0 || p.awaitingReply)
        return false;
    if (p.isstring == 0) {
        if (p.resting)
            return false;
        // An empty limit reads as 0, as every number here is read leniently.
        const double value = p.number();
        return value > p.rangeu.value_or(0) || p.rangel.value_or(0) > value;
    }
    return p.isstring == 1 && p.founderror != 0;
}

// The fault entry of one parameter, or an empty text when it is fine.
QString faultText(const ParamRecord &p)
{
    if (!isFaulty(p))
        return {};
    if (p.isstring == 0) {
        return parameterName(p) + QLatin1Char('=') + valueWithUnit(p.text(), p.unit) + QLatin1Char(' ')
            + langText(QStringLiteral("frmMain"), QStringLiteral("msgOutLimit")) + QStringLiteral(" (")
            + limitText(p.rangel) + QLatin1Char('|') + valueWithUnit(limitText(p.rangeu), p.unit) + QLatin1Char(')');
    }
    return parameterName(p) + QLatin1Char('=') + parameterValueText(p) + langText(QStringLiteral("frmMain"), QStringLiteral("msgStatusError"));
}

QStringList faultEntries(const ParamTable &table)
{
    QStringList entries;
    for (const ParamRecord &p : table) {
        const QString entry = faultText(p);
        if (!entry.isEmpty())
            entries << entry;
    }
    return entries;
}

QString checkDevStatus(const ParamTable &table)
{
    return faultEntries(table).join(QStringLiteral("; "));
}

QString faultKey(const ParamTable &table)
{
    QStringList ids;
    for (int slot = 0; slot < PARAM_SLOTS; ++slot) {
        if (isFaulty(table[size_t(slot)]))
            ids << QString::number(slot);
    }
    return ids.join(QLatin1Char(';'));
}

quint32 getCellColor(const ParamTable &table, int iRow)
{
    if (!isParamSlot(iRow))
        return COLOUR_BLACK;
    const ParamRecord &p = table[size_t(iRow)];
    if (p.awaitingReply || (p.resting && p.isstring == 0))
        return COLOUR_BLACK;
    return (p.warningenabled != 0 && p.founderror != 0 && p.enabled != 0) ? COLOUR_RED : COLOUR_BLACK;
}

bool alarmDue(bool foundError, int soundEnabled, int linkOk, bool pollingOn, bool silentlyAsleep)
{
    return (foundError && soundEnabled != 0) || (linkOk == 0 && pollingOn && !silentlyAsleep);
}

} // namespace vantoro
