// What the web server reads from a request head before the HTTP parser
// does: where each head ends, how large it grew, and the version and headers
// that decide whether a body follows and the connection stays open.
#pragma once

#include <QByteArray>
#include <QList>

namespace vantoro {

inline constexpr int WEB_MAX_REQUEST_BYTES = 8192;

// What one request head says.
struct RequestHead
{
    bool http10 = false;
    bool keepAlive = true;      // HTTP/1.1 without "Connection: close", or 1.0 with keep-alive
    bool announcesBody = false; // Content-Length above 0, or any Transfer-Encoding
    bool badLength = false;     // a Content-Length that is no number, or two that differ
};

// Reads the request line's version and the headers the connection depends on
// from one complete head (lines ending in CRLF or bare LF).
RequestHead parseRequestHead(QByteArrayView head);

// Follows the bytes of one connection and finds where each request head ends
// (an empty line, CRLF or bare LF alike, as the HTTP parser accepts).
// Requests carry no body here: the first head that announces one ends the
// scan, so no byte after it is ever taken for a head.
class RequestHeadScanner
{
public:
    // Adds bytes read; false once a head has grown beyond the limit.
    bool add(QByteArrayView bytes);
    // Heads completed since the last call, oldest first.
    QList<RequestHead> takeHeads();
    // Some bytes of a head not yet complete have arrived.
    bool inHead() const { return !m_head.isEmpty(); }

private:
    QByteArray m_head;
    bool m_lineEmpty = false; // the current line has nothing but CR so far
    bool m_sawText = false;   // the head has more than blank lines
    bool m_stopped = false;
    QList<RequestHead> m_done;
};

// Whether a comma-separated header value holds `token`, in any case.
bool hasHeaderToken(QByteArrayView value, QByteArrayView token);

} // namespace vantoro
