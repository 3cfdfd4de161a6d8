// Finding request heads in a connection's bytes and reading what they say.
#include "web/request_head.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace vantoro {

namespace {

QByteArrayView trimmed(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.chop(1);
    return text;
}

bool isBlank(QByteArrayView line)
{
    for (char c : line) {
        if (c != '\r')
            return false;
    }
    return true;
}

} // namespace

bool hasHeaderToken(QByteArrayView value, QByteArrayView token)
{
    for (const QByteArray &part : value.toByteArray().split(',')) {
        if (trimmed(part).compare(token, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

RequestHead parseRequestHead(QByteArrayView head)
{
    RequestHead result;
    bool requestLine = true;
    bool connectionClose = false;
    bool connectionKeepAlive = false;
    std::optional<QByteArray> length;
    for (const QByteArray &raw : head.toByteArray().split('\n')) {
        const QByteArrayView line = trimmed(raw);
        if (requestLine) {
            if (isBlank(raw))
                continue; // blank lines before a request are allowed
            requestLine = false;
            const qsizetype space = line.lastIndexOf(' ');
            const QByteArrayView version = space < 0 ? QByteArrayView() : line.sliced(space + 1);
            // Anything but 1.1 (1.0, or no version at all) closes by default.
            result.http10 = version != "HTTP/1.1";
            continue;
        }
        const qsizetype colon = line.indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArrayView name = trimmed(line.first(colon));
        const QByteArrayView value = trimmed(line.sliced(colon + 1));
        if (name.compare("Connection", Qt::CaseInsensitive) == 0) {
            connectionClose = connectionClose || hasHeaderToken(value, "close");
            connectionKeepAlive = connectionKeepAlive || hasHeaderToken(value, "keep-alive");
        } else if (name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0) {
            result.announcesBody = true;
        } else if (name.compare("Content-Length", Qt::CaseInsensitive) == 0) {
            const bool digits = !value.isEmpty()
                && std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
            // Leading zeros aside, two lengths must agree.
            QByteArrayView number = value;
            while (number.size() > 1 && number.front() == '0')
                number = number.sliced(1);
            if (!digits || (length && QByteArrayView(*length) != number))
                result.badLength = true;
            length = number.toByteArray();
            if (std::any_of(value.begin(), value.end(), [](char c) { return c >= '1' && c <= '9'; }))
                result.announcesBody = true;
        }
    }
    result.keepAlive = !connectionClose && (!result.http10 || connectionKeepAlive);
    return result;
}

bool RequestHeadScanner::add(QByteArrayView bytes)
{
    for (char c : bytes) {
        if (m_stopped)
            return true;
        m_head += c;
        if (c == '\n') {
            if (m_lineEmpty && m_sawText) {
                const RequestHead head = parseRequestHead(m_head);
                m_done.append(head);
                m_head.clear();
                m_lineEmpty = false;
                m_sawText = false;
                m_stopped = head.announcesBody || head.badLength;
                continue;
            }
            m_lineEmpty = true;
        } else if (c != '\r') {
            m_lineEmpty = false;
            m_sawText = true;
        }
        if (m_head.size() > WEB_MAX_REQUEST_BYTES)
            return false;
    }
    return true;
}

QList<RequestHead> RequestHeadScanner::takeHeads()
{
    return std::exchange(m_done, {});
}

} // namespace vantoro
