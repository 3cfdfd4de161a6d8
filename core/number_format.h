// Number patterns of the parameter table's display formats ("0.00", "#0.0",
// "###,###,###0.0"): one formatter with the meaning operators know from the
// desktop tools the patterns were written for.
#pragma once

#include <QString>

namespace vantoro {

// Formats `value` with `pattern`:
// - "0" is a digit that always shows (padding with zeros), "#" a digit that
//   shows only when significant; integer digits beyond the placeholders are
//   all shown.
// - "." is the decimal point; it is shown whenever the pattern has one, even
//   when no fraction digit follows ("#.##" of 5 gives "5.").
// - "," between digit placeholders of the integer part groups thousands by
//   threes (wherever it stands); commas directly left of the decimal point or
//   at the end of the integer part divide by 1000 each.
// - "%" multiplies by 100 and shows the sign.
// - Any other character is literal text, as are "\x" and "quoted text".
// - Up to three sections separated by ";": positive; negative (shown without
//   a minus sign); zero. An empty section falls back to the first.
// - Rounding is half away from zero on the value's 15 significant decimal
//   digits, so 1.005 with "0.00" gives "1.01" (the binary value is just
//   below the half).
// - A negative value that rounds to zero shows without its minus sign:
//   "#0.0" of -0.04 gives "0.0" (a "-0.0" reading only tells of noise).
// An empty pattern gives the value in its general form (15 significant
// digits, no grouping); NaN and infinities give "NaN", "inf", "-inf".
QString formatNumber(double value, const QString &pattern);

// A decoded value without the scaling's binary noise: 2301 × 0.1 gives
// 230.1, a single-precision temperature 25.6, not their long double forms.
double tidyValue(double value);

} // namespace vantoro
