// Splits the bytes the station sends into requests: version-1 polls, CRC
// frames (polls and control commands) and set frames.
#pragma once

#include <QByteArray>
#include <QList>

namespace vantoro::sim {

struct Request
{
    enum class Kind { PollV1, PollV2, Control, OtherCrc, Set, SetBadSum };
    Kind kind = Kind::PollV1;
    QByteArray bytes; // the whole frame; a set frame keeps its FF wake-up byte when one came
    // CRC frame: address and function; version-1 poll: address and command;
    // set frame: the two header bytes.
    quint8 address = 0;
    quint8 function = 0;
};

class RequestParser
{
public:
    // Adds received bytes; returns the requests they complete, in order.
    // Bytes that fit no frame are dropped one at a time until one fits.
    QList<Request> feed(const QByteArray &bytes);
    // Forgets a partial frame (the line went quiet in the middle of it).
    void clear();
    bool hasPartialFrame() const { return !m_buffer.isEmpty(); }

private:
    QByteArray m_buffer;
    bool m_woken = false;
};

} // namespace vantoro::sim
