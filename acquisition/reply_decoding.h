// Decoding a checked 33-byte reply into the parameter table: scaled values,
// limit flags, status bits, the DC plausibility rule and the energy.
#pragma once

#include "acquisition/frames.h"
#include "acquisition/param_table.h"

#include <QDateTime>

namespace vantoro {

// Rows of the parameter table a reply fills.
inline constexpr int ROW_ADDRESS = 0;
inline constexpr int ROW_REPLY_TIME = 1;
inline constexpr int ROW_AC_VOLTAGE = 2;
inline constexpr int ROW_AC_CURRENT = 3;
inline constexpr int ROW_DC_VOLTAGE = 4;
inline constexpr int ROW_DC_CURRENT = 5;
inline constexpr int ROW_FIRST_SIGNED = 6; // rows 6 and 7 are sign-magnitude words
inline constexpr int ROW_ENERGY = 8;
inline constexpr int ROW_STATUS = 10;
inline constexpr int ROW_FIRST_STATUS_BIT = 14;
inline constexpr int STATUS_BITS = 16;

// Below this a power counts as zero.
inline constexpr double POWER_EPSILON = 0.00001;
// AC power above this share of the DC power is not believable.
inline constexpr double DC_PLAUSIBLE_RATIO = 0.94;
// A longer gap between replies cannot be integrated into the energy.
inline constexpr qint64 ENERGY_GAP_LIMIT_SECONDS = 1800;

struct DecodeSettings
{
    bool meterCounter = false; // the device reports a total-energy meter (totalpower)
    QDateTime now;             // when the reply was accepted (see replyTimeNow)
};

// The local time now, held with its fixed offset from UTC: it reads as local
// time, and the energy's interval is computed without a time-zone look-up.
QDateTime replyTimeNow();

// What the decoding found that has to be reported.
struct DecodeOutcome
{
    bool dcError = false;       // DC power zero while the AC side delivers
    bool dcCalibrated = false;  // DC voltage corrected to a believable value
    double dcVoltageRead = 0;
    double dcCurrentRead = 0;
    double dcVoltageCalibrated = 0;
    bool energyNotSynchronized = false;
};

// The fields of a checked reply (33 bytes, head first).
DeviceReading readingOfReplyV1(const QByteArray &reply);
DeviceReading readingOfReplyV2(const QByteArray &reply);

DecodeOutcome decodeReading(quint8 address, const DeviceReading &reading, ParamTable &table,
                            const DecodeSettings &settings);
DecodeOutcome decodeReplyV1(const QByteArray &reply, ParamTable &table, const DecodeSettings &settings);
DecodeOutcome decodeReplyV2(const QByteArray &reply, ParamTable &table, const DecodeSettings &settings);

// Writes the messages and the event of an outcome, in the order they arose.
void reportDecodeOutcome(const DecodeOutcome &outcome, const QString &devid);

} // namespace vantoro
