// Modbus TCP framing for protocol 2: the CRC frames the poller writes go out
// under an MBAP header without their CRC, and a reply comes back as the RTU
// frame the poller expects, CRC computed. Pure functions over bytes, shared
// by the station's network port and the simulator.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace vantoro {

inline constexpr int MBAP_HEADER_BYTES = 7;
inline constexpr quint16 MBAP_PROTOCOL = 0;
// The longest RTU frame Modbus allows: address, 253 PDU bytes, CRC.
inline constexpr int MAX_RTU_FRAME_BYTES = 256;
inline constexpr quint8 MODBUS_EXCEPTION_FLAG = 0x80;
inline constexpr int EXCEPTION_PDU_BYTES = 2;

struct MbapHeader
{
    quint16 transaction = 0;
    quint16 protocol = 0;
    quint16 length = 0; // the bytes after the length field: unit id and PDU
    quint8 unit = 0;
};

// The header at the front of `bytes`, once all seven bytes are there.
std::optional<MbapHeader> readMbapHeader(const QByteArray &bytes);
// Header and frame: `rtu` without its CRC (unit id first, then the PDU).
QByteArray mbapFrame(quint16 transaction, const QByteArray &rtuWithoutCrc);
// `bytes` with their CRC appended.
QByteArray withCrc(const QByteArray &bytes);

// The length of the CRC frame (addr fn nLo nHi data... crc) starting
// `pending`: 0 while its first four bytes are not all there, -1 when the
// length is more than any frame.
int crcFrameLength(const QByteArray &pending);

// One whole CRC frame under an MBAP header; nullopt with `error` when its CRC
// fails.
std::optional<QByteArray> mbapRequest(const QByteArray &crcFrame, quint16 transaction, QString *error);

struct MbapReply
{
    enum class Status { Incomplete, Reply, Exception, Bad };
    Status status = Status::Incomplete;
    QByteArray rtu;  // Reply and Exception: the RTU frame, CRC computed
    QString error;   // Exception and Bad: what was wrong
};

// Takes the reply to `transaction` from unit `unit` off the front of
// `received`. A reply carries `replyPduBytes` PDU bytes or is an exception;
// a header that does not match is Bad at once, before its body arrives.
MbapReply takeMbapReply(QByteArray &received, quint16 transaction, quint8 unit, int replyPduBytes);

} // namespace vantoro
