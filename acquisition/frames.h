// The device's wire formats: request frames, reply layouts, checksums and the
// head search. Pure functions over bytes, shared by the station and the
// device simulator.
#pragma once

#include <QByteArray>
#include <array>
#include <optional>

namespace vantoro {

inline constexpr quint8 FRAME_START = 0xEB;
inline constexpr quint8 FRAME_V1_SECOND = 0x90;
inline constexpr quint8 FRAME_END = 0x0D;
inline constexpr quint8 WAKE_UP_BYTE = 0xFF;
inline constexpr quint8 POLL_COMMAND_V1 = 0xCF;
inline constexpr quint8 FUNCTION_POLL = 0x03;
inline constexpr quint8 FUNCTION_CONTROL = 0x10;
inline constexpr quint8 REPLY_BODY_LENGTH = 0x1B; // 27
inline constexpr int REPLY_BYTES = 33;
inline constexpr int SET_FRAME_DATA_BYTES = 7;
inline constexpr int SET_FRAME_BYTES = 13;
inline constexpr int POLL_V1_BYTES = 10;
inline constexpr int POLL_DATA_BYTES = 8;  // data bytes of a poll request, all zero
inline constexpr quint16 CRC_START = 0xFFFF;
inline constexpr quint16 CRC_POLYNOMIAL = 0xA001;

// What one reply carries: six 16-bit words (parameters 2 to 7), the energy
// counter and the status word.
struct DeviceReading
{
    std::array<quint16, 6> words{};
    quint32 energy = 0;
    quint16 status = 0;
};

// Set frame without its wake-up byte: EB h1 h2 d0..d6 sumLo sumHi 0D. Data
// arrays that do not hold exactly 7 bytes are sent as seven zeros.
QByteArray buildSetFrame(quint8 header1, const QByteArray &data, quint8 header2);
// Version-1 poll: EB 90 addr cmd A0 00 00 sumLo sumHi 0D.
QByteArray buildPollV1(quint8 address, quint8 command);
// CRC frame: addr fn nLo nHi data... crcLo crcHi.
QByteArray buildCrcFrame(quint8 address, const QByteArray &data, quint8 function);
// Modbus CRC-16 of the bytes.
quint16 frameCrc(const QByteArray &bytes);

QByteArray replyHeadV1();
QByteArray replyHeadV2(quint8 address, quint8 function = FUNCTION_POLL);

// Complete 33-byte replies, as a device sends them.
QByteArray buildReplyV1(quint8 address, const DeviceReading &reading);
QByteArray buildReplyV2(quint8 address, const DeviceReading &reading, quint8 function = FUNCTION_POLL);

// The head search over a receive buffer, consuming bytes from its front as
// the port's one-byte reads would: the last byte is never examined, and a
// mismatching byte is dropped without being compared with the first head
// byte again. True when the head was found (and consumed).
bool findHeadInBuffer(QByteArray &buffer, const QByteArray &head);

} // namespace vantoro
