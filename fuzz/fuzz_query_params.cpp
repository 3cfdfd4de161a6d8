// Fuzz target of what the web server reads from a client before any answer:
// the query string (split, decoded, every typed reader), and the request-head
// scanner, fed in chunks, against a plain reference of where heads end, how
// large they may grow and that a head announcing a body ends the stream.
//
// Input: the first byte picks the chunk size for the scanner; the rest
// is both the query string and the byte stream of a connection.
#include "fuzz_support.h"

#include "web/query_params.h"
#include "web/request_head.h"

#include <algorithm>
#include <string_view>

using namespace vantoro;
using vantoro::fuzz::check;

namespace {

void readEverything(const QueryParams &params)
{
    ParameterError error;
    const QDate today(2026, 3, 1);
    if (const auto range = params.dayRange(today, 366, &error))
        check(range->from.isValid() && range->to.isValid() && range->from <= range->to, "a reversed or invalid range");
    else
        check(!error.message.isEmpty(), "a refusal without a message");
    if (const auto n = params.integer(QStringLiteral("limit"), 1, 10000, std::nullopt, &error))
        check(*n >= 1 && *n <= 10000, "a number out of its range");
    if (const auto codes = params.codes(QStringLiteral("codes"), &error))
        check(!codes->isEmpty(), "an empty code list");
    params.choice(QStringLiteral("format"), {QStringLiteral("json"), QStringLiteral("csv")}, QStringLiteral("json"),
                  &error);
}

struct ReferenceScan
{
    bool tooLarge = false;
    int heads = 0;
};

// The plain rule, line by line: a head ends at the first line holding
// nothing but CRs (bare LF or CRLF) after a line with text; the bytes of
// each head before its final byte, or all of an unfinished one, must not
// exceed the limit; a head that announces a body ends the stream.
ReferenceScan referenceScan(std::string_view stream)
{
    ReferenceScan scan;
    size_t start = 0;
    size_t lineStart = 0;
    bool sawText = false;
    while (true) {
        const size_t newline = stream.find('\n', lineStart);
        if (newline == std::string_view::npos) {
            scan.tooLarge = stream.size() - start > size_t(WEB_MAX_REQUEST_BYTES);
            return scan;
        }
        const std::string_view line = stream.substr(lineStart, newline - lineStart);
        const bool blank = line.find_first_not_of('\r') == std::string_view::npos;
        lineStart = newline + 1;
        if (!blank || !sawText) {
            sawText = sawText || !blank;
            if (newline - start >= size_t(WEB_MAX_REQUEST_BYTES)) {
                scan.tooLarge = true;
                return scan;
            }
            continue;
        }
        if (newline - start > size_t(WEB_MAX_REQUEST_BYTES)) {
            scan.tooLarge = true;
            return scan;
        }
        ++scan.heads;
        const RequestHead head = parseRequestHead(QByteArrayView(stream.data() + start, qsizetype(lineStart - start)));
        if (head.announcesBody || head.badLength)
            return scan;
        start = lineStart;
        sawText = false;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vantoro::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t chunk = size_t(data[0]) * 64 + 1;
    const QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    ParameterError error;
    if (const auto params = QueryParams::parse(bytes, {}, &error)) {
        check(bytes.size() <= QUERY_MAX_BYTES, "an over-long query accepted");
        readEverything(*params);
    } else {
        check(!error.message.isEmpty(), "a refused query without a message");
    }
    QueryParams::parse(bytes, {QStringLiteral("from"), QStringLiteral("to")}, &error);

    // The scanner sees the bytes in chunks, as a socket delivers them.
    RequestHeadScanner scanner;
    bool accepted = true;
    int heads = 0;
    bool bodyAnnounced = false;
    for (qsizetype at = 0; at < bytes.size() && accepted; at += qsizetype(chunk)) {
        accepted = scanner.add(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(qsizetype(chunk), bytes.size() - at)));
        for (const RequestHead &head : scanner.takeHeads()) {
            check(!bodyAnnounced, "a body's bytes taken for a head");
            ++heads;
            bodyAnnounced = head.announcesBody || head.badLength;
        }
    }
    const ReferenceScan reference = referenceScan(std::string_view(bytes.constData(), size_t(bytes.size())));
    check(accepted == !reference.tooLarge, "the head scanner's size limit disagrees with the plain rule");
    if (accepted)
        check(heads == reference.heads, "the head scanner found other head ends than the plain rule");

    // The stream read as one head: HTTP/1.0 stays open only when it asks.
    const RequestHead head = parseRequestHead(bytes);
    if (head.http10 && !QByteArrayView(bytes).contains("eep-alive"))
        check(!head.keepAlive, "an HTTP/1.0 request kept open without asking");
    return 0;
}
