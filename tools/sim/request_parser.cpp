// Request framing of the device simulator, on the station's own frame code.
#include "request_parser.h"

#include "acquisition/frames.h"

namespace vantoro::sim {

namespace {

// Longer data would be a misread length field; the station sends 8.
constexpr int MAX_CRC_DATA = 64;

enum class Match { Frame, WakeUp, NoFrame, NeedMore };

struct Candidate
{
    Match match = Match::NoFrame;
    int length = 0;
    Request::Kind kind = Request::Kind::PollV1;
};

quint8 at(const QByteArray &bytes, int i)
{
    return quint8(bytes.at(i));
}

int sumOf(const QByteArray &bytes, int from, int to)
{
    int sum = 0;
    for (int i = from; i <= to; ++i)
        sum += at(bytes, i);
    return sum;
}

int wordAt(const QByteArray &bytes, int i)
{
    return at(bytes, i) | (at(bytes, i + 1) << 8);
}

Candidate crcFrameAt(const QByteArray &b, int start)
{
    const int have = int(b.size()) - start;
    if (have < 4)
        return {Match::NeedMore};
    const int length = wordAt(b, start + 2);
    if (length > MAX_CRC_DATA)
        return {Match::NoFrame};
    if (have < length + 6)
        return {Match::NeedMore};
    if (frameCrc(b.mid(start, length + 4)) != wordAt(b, start + length + 4))
        return {Match::NoFrame};
    const quint8 function = at(b, start + 1);
    const Request::Kind kind = function == FUNCTION_POLL ? Request::Kind::PollV2
        : function == FUNCTION_CONTROL                   ? Request::Kind::Control
                                                         : Request::Kind::OtherCrc;
    return {Match::Frame, length + 6, kind};
}

// What starts at `start`: a whole frame, a wake-up byte, nothing, or
// possibly a frame that is not complete yet.
Candidate candidateAt(const QByteArray &b, int start)
{
    const int have = int(b.size()) - start;
    const quint8 first = at(b, start);
    if (first == WAKE_UP_BYTE) {
        if (have < 2)
            return {Match::NeedMore};
        if (at(b, start + 1) == FRAME_START)
            return {Match::WakeUp, 1};
        return crcFrameAt(b, start); // FF as the address of a CRC frame
    }
    if (first != FRAME_START)
        return crcFrameAt(b, start);
    if (have < 2)
        return {Match::NeedMore};
    if (at(b, start + 1) == FRAME_V1_SECOND) {
        if (have < POLL_V1_BYTES)
            return {Match::NeedMore};
        if (at(b, start + 9) != FRAME_END || sumOf(b, start + 2, start + 6) != wordAt(b, start + 7))
            return {Match::NoFrame};
        return {Match::Frame, POLL_V1_BYTES, Request::Kind::PollV1};
    }
    if (have < SET_FRAME_BYTES)
        return {Match::NeedMore};
    if (at(b, start + 12) != FRAME_END)
        return {Match::NoFrame};
    const bool sumOk = sumOf(b, start + 1, start + 9) == wordAt(b, start + 10);
    return {Match::Frame, SET_FRAME_BYTES, sumOk ? Request::Kind::Set : Request::Kind::SetBadSum};
}

} // namespace

QList<Request> RequestParser::feed(const QByteArray &bytes)
{
    m_buffer.append(bytes);
    QList<Request> requests;
    while (!m_buffer.isEmpty()) {
        const Candidate front = candidateAt(m_buffer, 0);
        if (front.match == Match::NeedMore) {
            // Noise can look like the start of a long frame; a complete
            // frame further on wins over waiting for it.
            int later = 1;
            while (later < m_buffer.size() && candidateAt(m_buffer, later).match != Match::Frame)
                ++later;
            if (later == m_buffer.size())
                break;
            m_buffer.remove(0, later);
            m_woken = false;
            continue;
        }
        if (front.match == Match::NoFrame) {
            m_buffer.remove(0, 1);
            m_woken = false;
            continue;
        }
        if (front.match == Match::WakeUp) {
            m_buffer.remove(0, 1);
            m_woken = true;
            continue;
        }
        Request request{front.kind, m_buffer.left(front.length), at(m_buffer, 0), at(m_buffer, 1)};
        const bool setFrame = front.kind == Request::Kind::Set || front.kind == Request::Kind::SetBadSum;
        if (front.kind == Request::Kind::PollV1)
            request = {front.kind, request.bytes, at(m_buffer, 2), at(m_buffer, 3)};
        else if (setFrame)
            request = {front.kind, request.bytes, at(m_buffer, 1), at(m_buffer, 2)};
        if (setFrame && m_woken)
            request.bytes.prepend(char(WAKE_UP_BYTE));
        m_buffer.remove(0, front.length);
        m_woken = false;
        requests.append(request);
    }
    return requests;
}

void RequestParser::clear()
{
    m_buffer.clear();
    m_woken = false;
}

} // namespace vantoro::sim
