// Modbus TCP framing.
#include "acquisition/modbus_tcp.h"

#include "acquisition/frames.h"

namespace vantoro {

namespace {

constexpr int CRC_BYTES = 2;
constexpr int CRC_FRAME_OVERHEAD = 6; // address, function, two length bytes, CRC

quint16 bigEndianWord(const QByteArray &bytes, int at)
{
    return quint16((quint8(bytes.at(at)) << 8) | quint8(bytes.at(at + 1)));
}

void appendBigEndian(QByteArray &bytes, quint16 word)
{
    bytes.append(char(word >> 8));
    bytes.append(char(word & 0xFF));
}

} // namespace

std::optional<MbapHeader> readMbapHeader(const QByteArray &bytes)
{
    if (bytes.size() < MBAP_HEADER_BYTES)
        return std::nullopt;
    MbapHeader header;
    header.transaction = bigEndianWord(bytes, 0);
    header.protocol = bigEndianWord(bytes, 2);
    header.length = bigEndianWord(bytes, 4);
    header.unit = quint8(bytes.at(6));
    return header;
}

QByteArray mbapFrame(quint16 transaction, const QByteArray &rtuWithoutCrc)
{
    QByteArray frame;
    frame.reserve(MBAP_HEADER_BYTES - 1 + rtuWithoutCrc.size());
    appendBigEndian(frame, transaction);
    appendBigEndian(frame, MBAP_PROTOCOL);
    appendBigEndian(frame, quint16(rtuWithoutCrc.size()));
    frame.append(rtuWithoutCrc);
    return frame;
}

QByteArray withCrc(const QByteArray &bytes)
{
    const quint16 crc = frameCrc(bytes);
    QByteArray frame = bytes;
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

int crcFrameLength(const QByteArray &pending)
{
    if (pending.size() < 4)
        return 0;
    const int length = CRC_FRAME_OVERHEAD + (quint8(pending.at(2)) | (quint8(pending.at(3)) << 8));
    return length > MAX_RTU_FRAME_BYTES ? -1 : length;
}

std::optional<QByteArray> mbapRequest(const QByteArray &crcFrame, quint16 transaction, QString *error)
{
    const QByteArray body = crcFrame.left(crcFrame.size() - CRC_BYTES);
    if (crcFrame.size() < CRC_FRAME_OVERHEAD || withCrc(body) != crcFrame) {
        if (error)
            *error = QStringLiteral("Modbus TCP: the frame to send fails its CRC");
        return std::nullopt;
    }
    return mbapFrame(transaction, body);
}

MbapReply takeMbapReply(QByteArray &received, quint16 transaction, quint8 unit, int replyPduBytes)
{
    MbapReply reply;
    const auto header = readMbapHeader(received);
    if (!header)
        return reply;
    reply.status = MbapReply::Status::Bad;
    if (header->transaction != transaction) {
        reply.error = QStringLiteral("Modbus TCP: reply to transaction %1, expected %2")
                          .arg(header->transaction)
                          .arg(transaction);
        return reply;
    }
    if (header->protocol != MBAP_PROTOCOL) {
        reply.error = QStringLiteral("Modbus TCP: reply with protocol id %1, expected 0").arg(header->protocol);
        return reply;
    }
    if (header->unit != unit) {
        reply.error = QStringLiteral("Modbus TCP: reply from unit %1, expected %2").arg(header->unit).arg(unit);
        return reply;
    }
    const int length = header->length;
    if (length != 1 + replyPduBytes && length != 1 + EXCEPTION_PDU_BYTES) {
        reply.error = QStringLiteral("Modbus TCP: reply of %1 bytes after its length field, expected %2")
                          .arg(length)
                          .arg(1 + replyPduBytes);
        return reply;
    }
    const int total = MBAP_HEADER_BYTES - 1 + length;
    if (received.size() < total) {
        reply.status = MbapReply::Status::Incomplete;
        return reply;
    }
    const QByteArray rtu = received.mid(MBAP_HEADER_BYTES - 1, length);
    received.remove(0, total);
    const bool exception = (quint8(rtu.at(1)) & MODBUS_EXCEPTION_FLAG) != 0;
    if (exception != (length == 1 + EXCEPTION_PDU_BYTES)) {
        reply.error = QStringLiteral("Modbus TCP: reply of %1 bytes with function %2")
                          .arg(length)
                          .arg(quint8(rtu.at(1)));
        return reply;
    }
    reply.rtu = withCrc(rtu);
    if (exception) {
        reply.status = MbapReply::Status::Exception;
        reply.error = QStringLiteral("Modbus TCP: unit %1 answered with exception %2").arg(unit).arg(quint8(rtu.at(2)));
        return reply;
    }
    reply.status = MbapReply::Status::Reply;
    return reply;
}

} // namespace vantoro
