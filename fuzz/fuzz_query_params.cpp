// Fuzz target of what the web server reads from a client before any answer:
// the query string (split, decoded, every typed reader) and the request-head
// size counter, fed in chunks, against a plain reference.
//
// Input: the first byte picks the chunk size for the size counter; the rest
// is both the query string and the byte stream of a connection.
#include "fuzz_support.h"

#include "web/connection_guard.h"
#include "web/query_params.h"

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

// Whether some request head in `stream` grows past the limit, by the plain
// rule: the bytes of each head before its final byte, or all of an
// unfinished one, must not exceed it.
bool referenceTooLarge(std::string_view stream)
{
    constexpr std::string_view end = "\r\n\r\n";
    size_t start = 0;
    while (true) {
        const size_t found = stream.find(end, start);
        if (found == std::string_view::npos)
            return stream.size() - start > size_t(WEB_MAX_REQUEST_BYTES);
        if (found + end.size() - 1 - start > size_t(WEB_MAX_REQUEST_BYTES))
            return true;
        start = found + end.size();
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

    // The counter sees the bytes in chunks, as a socket delivers them.
    RequestSizeCounter counter;
    bool accepted = true;
    for (qsizetype at = 0; at < bytes.size() && accepted; at += qsizetype(chunk))
        accepted = counter.add(QByteArrayView(bytes).sliced(at, std::min<qsizetype>(qsizetype(chunk), bytes.size() - at)));
    check(accepted == !referenceTooLarge(std::string_view(bytes.constData(), size_t(bytes.size()))),
          "the size counter disagrees with the plain rule");
    return 0;
}
