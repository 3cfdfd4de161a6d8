// Fuzz target of the number-pattern formatter: any double (NaN, infinities,
// subnormals, huge values) with any pattern text.
//
// Input: 8 bytes of the value's bits (fewer make it a small whole number),
// then the pattern as UTF-8.
#include "fuzz_support.h"

#include "core/number_format.h"

#include <cmath>
#include <cstring>

using namespace vantoro;
using vantoro::fuzz::check;

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    vantoro::fuzz::setUp();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    double value = 0;
    size_t used = 0;
    if (size >= sizeof value) {
        std::memcpy(&value, data, sizeof value);
        used = sizeof value;
    } else if (size > 0) {
        value = double(data[0]) - 128;
        used = 1;
    }
    const QString pattern = QString::fromUtf8(reinterpret_cast<const char *>(data + used), qsizetype(size - used));
    const QString text = formatNumber(value, pattern);
    if (std::isnan(value))
        check(pattern.isEmpty() ? text == QLatin1String("NaN") : !text.isNull(), "NaN");
    // The formatter's own guard against a runaway result: every digit it
    // writes comes from the value (at most 309 integer digits) or from a
    // placeholder or literal of the pattern.
    check(text.size() <= 2 * pattern.size() + 700, "a result far longer than value and pattern");
    formatNumber(-value, pattern);
    formatNumber(value * 1e-7, pattern);
    return 0;
}
