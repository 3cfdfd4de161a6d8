// The device's wire formats: frame building, checksums, replies and the head
// search, as pure functions over bytes.
#include "acquisition/frames.h"

#include "core/common.h"

namespace vantoro {

namespace {

void appendWord(QByteArray &out, quint16 word)
{
    out.append(char(word & 0xFF));
    out.append(char(word >> 8));
}

int byteSum(const QByteArray &bytes, int from, int to)
{
    int sum = 0;
    for (int i = from; i <= to; ++i)
        sum += quint8(bytes.at(i));
    return sum;
}

// The checksum's two bytes: low byte, then the sum divided by 256 modulo 256.
void appendSum(QByteArray &out, int sum)
{
    out.append(char(sum & 0xFF));
    out.append(char((sum / 256) % 256));
}

void appendReadingWords(QByteArray &out, const DeviceReading &reading)
{
    for (quint16 word : reading.words)
        appendWord(out, word);
}

} // namespace

QByteArray buildSetFrame(quint8 header1, const QByteArray &data, quint8 header2)
{
    QByteArray frame;
    frame.reserve(SET_FRAME_BYTES);
    frame.append(char(FRAME_START));
    frame.append(char(header1));
    frame.append(char(header2));
    if (data.size() == SET_FRAME_DATA_BYTES)
        frame.append(data);
    else
        frame.append(SET_FRAME_DATA_BYTES, '\0');
    appendSum(frame, byteSum(frame, 1, 9));
    frame.append(char(FRAME_END));
    return frame;
}

QByteArray buildPollV1(quint8 address, quint8 command)
{
    QByteArray frame;
    frame.reserve(POLL_V1_BYTES);
    frame.append(char(FRAME_START));
    frame.append(char(FRAME_V1_SECOND));
    frame.append(char(address));
    frame.append(char(command));
    frame.append(char(0xA0));
    frame.append(char(0x00));
    frame.append(char(0x00));
    appendSum(frame, byteSum(frame, 2, 6));
    frame.append(char(FRAME_END));
    return frame;
}

quint16 frameCrc(const QByteArray &bytes)
{
    return crc16(bytes, CRC_START, CRC_POLYNOMIAL);
}

QByteArray buildCrcFrame(quint8 address, const QByteArray &data, quint8 function)
{
    QByteArray frame;
    frame.reserve(data.size() + 6);
    frame.append(char(address));
    frame.append(char(function));
    appendWord(frame, quint16(data.size()));
    frame.append(data);
    appendWord(frame, frameCrc(frame));
    return frame;
}

QByteArray replyHeadV1()
{
    return QByteArray{"\xEB\x90", 2};
}

QByteArray replyHeadV2(quint8 address, quint8 function)
{
    QByteArray head;
    head.append(char(address));
    head.append(char(function));
    head.append(char(REPLY_BODY_LENGTH));
    head.append(char(0x00));
    return head;
}

QByteArray buildReplyV1(quint8 address, const DeviceReading &reading)
{
    QByteArray reply = replyHeadV1();
    reply.reserve(REPLY_BYTES);
    reply.append(char(address));
    appendReadingWords(reply, reading);
    reply.append(char(reading.energy & 0xFF));
    reply.append(char((reading.energy >> 8) & 0xFF));
    reply.append(char((reading.energy >> 16) & 0xFF));
    appendWord(reply, reading.status);
    reply.append(30 - reply.size(), '\0');
    appendSum(reply, byteSum(reply, 2, 29));
    reply.append(char(FRAME_END));
    return reply;
}

QByteArray buildReplyV2(quint8 address, const DeviceReading &reading, quint8 function)
{
    QByteArray reply = replyHeadV2(address, function);
    reply.reserve(REPLY_BYTES);
    appendReadingWords(reply, reading);
    appendWord(reply, quint16(reading.energy & 0xFFFF));
    appendWord(reply, quint16(reading.energy >> 16));
    appendWord(reply, reading.status);
    reply.append(31 - reply.size(), '\0');
    appendWord(reply, frameCrc(reply));
    return reply;
}

bool findHeadInBuffer(QByteArray &buffer, const QByteArray &head)
{
    if (head.isEmpty())
        return false;
    int next = 0;
    while (buffer.size() > 1) {
        const char byte = buffer.at(0);
        buffer.remove(0, 1);
        if (byte == head.at(next)) {
            if (++next == head.size())
                return true;
        } else {
            next = 0;
        }
    }
    return false;
}

} // namespace vantoro
