// Reply decoding into the parameter table.
#include "acquisition/reply_decoding.h"

#include "core/common.h"
#include "core/localisation.h"
#include "core/message_service.h"
#include "events/event_log.h"

namespace vantoro {

namespace {

quint16 wordAt(const QByteArray &bytes, int offset)
{
    return quint16(quint8(bytes.at(offset)) | (quint8(bytes.at(offset + 1)) << 8));
}

quint32 counterAt(const QByteArray &bytes, int offset, int length)
{
    quint32 value = 0;
    for (int i = length - 1; i >= 0; --i)
        value = (value << 8) | quint8(bytes.at(offset + i));
    return value;
}

double flagOutOfLimits(const ParamRecord &row, double value)
{
    if (row.warningenabled == 0)
        return 0;
    const bool above = row.rangeu && value > *row.rangeu;
    const bool below = row.rangel && value < *row.rangel;
    return above || below ? 1 : 0;
}

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

} // namespace

QDateTime replyTimeNow()
{
    const QDateTime local = QDateTime::currentDateTime();
    return local.toOffsetFromUtc(local.offsetFromUtc());
}

DeviceReading readingOfReplyV1(const QByteArray &reply)
{
    DeviceReading r;
    for (int i = 0; i < 6; ++i)
        r.words[size_t(i)] = wordAt(reply, 3 + 2 * i);
    r.energy = counterAt(reply, 15, 3);
    r.status = wordAt(reply, 18);
    return r;
}

DeviceReading readingOfReplyV2(const QByteArray &reply)
{
    DeviceReading r;
    for (int i = 0; i < 6; ++i)
        r.words[size_t(i)] = wordAt(reply, 4 + 2 * i);
    r.energy = counterAt(reply, 16, 4);
    r.status = wordAt(reply, 20);
    return r;
}

DecodeOutcome decodeReading(quint8 address, const DeviceReading &reading, ParamTable &table,
                            const DecodeSettings &settings)
{
    DecodeOutcome outcome;
    for (int row : {ROW_ADDRESS, ROW_REPLY_TIME, ROW_ENERGY, ROW_STATUS})
        table[size_t(row)].awaitingReply = false;
    table[ROW_ADDRESS].paravalue = double(address);

    ParamRecord &timeRow = table[ROW_REPLY_TIME];
    const QDateTime previousReply = variantDateTime(timeRow.paravalue);
    timeRow.paravalue = settings.now;

    double values[6];
    for (int i = 0; i < 6; ++i) {
        const int row = ROW_AC_VOLTAGE + i;
        ParamRecord &p = table[size_t(row)];
        const quint16 word = reading.words[size_t(i)];
        if (row < ROW_FIRST_SIGNED) {
            values[i] = roundToMultiple(double(word) * p.multiple, p.multiple);
            p.paravalue = values[i];
        } else {
            // The temperatures are singles, as the device's scale is.
            const float value = float(roundToMultiple(
                double(float(signMagnitude16(quint8(word & 0xFF), quint8(word >> 8))) * float(p.multiple)), p.multiple));
            values[i] = double(value);
            p.paravalue = value;
        }
        p.founderror = flagOutOfLimits(p, values[i]);
        p.awaitingReply = false;
        p.rawReading.reset();
    }

    table[ROW_STATUS].paravalue = double(reading.status);
    for (int bit = 0; bit < STATUS_BITS; ++bit) {
        ParamRecord &p = table[size_t(ROW_FIRST_STATUS_BIT + bit)];
        p.awaitingReply = false;
        if (bitValue(reading.status, bit)) {
            p.paravalue = p.srcstring;
            p.founderror = p.warningenabled;
        } else {
            p.paravalue = p.okstring;
            p.founderror = 0;
        }
    }

    const double acPower = values[ROW_AC_VOLTAGE - 2] * values[ROW_AC_CURRENT - 2];
    const double dcVoltage = values[ROW_DC_VOLTAGE - 2];
    const double dcCurrent = values[ROW_DC_CURRENT - 2];
    if (dcVoltage * dcCurrent <= POWER_EPSILON) {
        outcome.dcError = acPower > POWER_EPSILON;
    } else if (double(float(acPower / dcVoltage / dcCurrent)) > DC_PLAUSIBLE_RATIO) {
        outcome.dcCalibrated = true;
        outcome.dcVoltageRead = dcVoltage;
        outcome.dcCurrentRead = dcCurrent;
        outcome.dcVoltageCalibrated =
            roundToMultiple(acPower / dcCurrent / DC_PLAUSIBLE_RATIO, table[ROW_DC_VOLTAGE].multiple);
        table[ROW_DC_VOLTAGE].paravalue = outcome.dcVoltageCalibrated;
        table[ROW_DC_VOLTAGE].rawReading = dcVoltage;
    }

    ParamRecord &energy = table[ROW_ENERGY];
    if (settings.meterCounter) {
        energy.paravalue = roundToMultiple(energy.multiple * double(reading.energy), energy.multiple);
    } else {
        // A clock set back counts as a gap, never as negative energy.
        const qint64 seconds = previousReply.isValid() ? previousReply.secsTo(settings.now) : -1;
        // The sum is not rounded: its small steps must add up.
        if (seconds < 0 || seconds > ENERGY_GAP_LIMIT_SECONDS)
            outcome.energyNotSynchronized = true;
        else
            energy.paravalue = energy.number() + acPower * double(seconds) / 3600.0 / 1000.0;
    }
    return outcome;
}

DecodeOutcome decodeReplyV1(const QByteArray &reply, ParamTable &table, const DecodeSettings &settings)
{
    return decodeReading(quint8(reply.at(2)), readingOfReplyV1(reply), table, settings);
}

DecodeOutcome decodeReplyV2(const QByteArray &reply, ParamTable &table, const DecodeSettings &settings)
{
    return decodeReading(quint8(reply.at(0)), readingOfReplyV2(reply), table, settings);
}

void reportDecodeOutcome(const DecodeOutcome &outcome, const QString &devid)
{
    if (outcome.dcError) {
        messages().beep();
        logStatus(QStringLiteral("Found DC Voltage ( or Current ) Error! "));
    }
    if (outcome.dcCalibrated) {
        // The shown value is no longer the device's: the operator reads why.
        logStatus(formText(QStringLiteral("frmMain"), QStringLiteral("msgDcAbnormal"),
                           QStringLiteral("Found abnormal data.Vdc=%1/Idc=%2"))
                      .arg(numberText(outcome.dcVoltageRead), numberText(outcome.dcCurrentRead)));
        logStatus(formText(QStringLiteral("frmMain"), QStringLiteral("msgDcCalibrated"),
                           QStringLiteral("Voltage DC will be calibrated to %1"))
                      .arg(numberText(outcome.dcVoltageCalibrated)));
    }
    if (outcome.energyNotSynchronized)
        logEvent(QStringLiteral("Power meter is not synchronized ."), devid, QString(), true);
}

} // namespace vantoro
