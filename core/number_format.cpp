// The number-pattern formatter of the display formats.
#include "core/number_format.h"

#include <QStringList>
#include <charconv>
#include <cmath>
#include <vector>

namespace vantoro {

namespace {

// Significant decimal digits a double is taken to before rounding, as the
// pattern tools do: it keeps 0.125 and 1.005 on their written halves.
constexpr int SIGNIFICANT_DIGITS = 15;

enum class Kind { Zero, Hash, Point, Comma, Percent, Literal };

struct Token
{
    Kind kind;
    QString text;
};

bool isPlaceholder(const Token &t)
{
    return t.kind == Kind::Zero || t.kind == Kind::Hash;
}

QStringList splitSections(const QString &pattern)
{
    QStringList sections;
    QString current;
    bool quoted = false;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        if (c == QLatin1Char('"')) {
            quoted = !quoted;
        } else if (!quoted && c == QLatin1Char('\\') && i + 1 < pattern.size()) {
            current += c;
            current += pattern.at(++i);
            continue;
        } else if (!quoted && c == QLatin1Char(';')) {
            sections << current;
            current.clear();
            continue;
        }
        current += c;
    }
    sections << current;
    return sections;
}

std::vector<Token> tokenize(const QString &section)
{
    std::vector<Token> tokens;
    bool seenPoint = false;
    for (int i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (c == QLatin1Char('"')) {
            const int end = section.indexOf(QLatin1Char('"'), i + 1);
            const int stop = end < 0 ? section.size() : end;
            tokens.push_back({Kind::Literal, section.mid(i + 1, stop - i - 1)});
            i = stop;
        } else if (c == QLatin1Char('\\')) {
            if (i + 1 < section.size())
                tokens.push_back({Kind::Literal, QString(section.at(++i))});
        } else if (c == QLatin1Char('0')) {
            tokens.push_back({Kind::Zero, {}});
        } else if (c == QLatin1Char('#')) {
            tokens.push_back({Kind::Hash, {}});
        } else if (c == QLatin1Char('.') && !seenPoint) {
            seenPoint = true;
            tokens.push_back({Kind::Point, {}});
        } else if (c == QLatin1Char(',') && !seenPoint) {
            tokens.push_back({Kind::Comma, {}});
        } else if (c == QLatin1Char('%')) {
            tokens.push_back({Kind::Percent, {}});
        } else {
            tokens.push_back({Kind::Literal, QString(c)});
        }
    }
    return tokens;
}

// round(|value| * 10^decimals) as a decimal digit string, rounding half away
// from zero on the first SIGNIFICANT_DIGITS digits of the value.
QString scaledDigits(double magnitude, int decimals)
{
    if (magnitude == 0.0)
        return QStringLiteral("0");
    const QString sci = QString::number(magnitude, 'e', SIGNIFICANT_DIGITS - 1);
    const int ePos = sci.indexOf(QLatin1Char('e'));
    QString mantissa = sci.left(ePos);
    mantissa.remove(QLatin1Char('.'));
    const int exponent = sci.mid(ePos + 1).toInt();
    // Digits kept: those left of the decimal point plus `decimals` after it.
    const int kept = exponent + 1 + decimals;
    if (kept < 0)
        return QStringLiteral("0");
    QString digits = mantissa.left(qMin(kept, int(mantissa.size())));
    if (kept > mantissa.size())
        digits += QString(kept - mantissa.size(), QLatin1Char('0'));
    const bool roundUp = kept < mantissa.size() && mantissa.at(kept) >= QLatin1Char('5');
    if (roundUp) {
        int i = digits.size() - 1;
        for (; i >= 0; --i) {
            if (digits.at(i) == QLatin1Char('9')) {
                digits[i] = QLatin1Char('0');
            } else {
                digits[i] = QChar(digits.at(i).unicode() + 1);
                break;
            }
        }
        if (i < 0)
            digits.prepend(QLatin1Char('1'));
    }
    return digits.isEmpty() ? QStringLiteral("0") : digits;
}

QString generalNumber(double value)
{
    return QString::number(value, 'g', SIGNIFICANT_DIGITS);
}

QString formatSection(double value, const std::vector<Token> &tokens, bool showSign)
{
    std::vector<Token> intTokens;
    std::vector<Token> fracTokens;
    bool hasPoint = false;
    bool percent = false;
    for (const Token &t : tokens) {
        if (t.kind == Kind::Point) {
            hasPoint = true;
            continue;
        }
        if (t.kind == Kind::Percent)
            percent = true;
        (hasPoint ? fracTokens : intTokens).push_back(t);
    }

    // Commas between placeholders group; commas after the last one scale.
    int firstPh = -1;
    int lastPh = -1;
    for (int i = 0; i < int(intTokens.size()); ++i) {
        if (isPlaceholder(intTokens[size_t(i)])) {
            if (firstPh < 0)
                firstPh = i;
            lastPh = i;
        }
    }
    bool grouping = false;
    int scaleCommas = 0;
    std::vector<Token> intParts;
    for (int i = 0; i < int(intTokens.size()); ++i) {
        const Token &t = intTokens[size_t(i)];
        if (t.kind != Kind::Comma) {
            intParts.push_back(t);
            continue;
        }
        if (firstPh >= 0 && i > firstPh && i < lastPh)
            grouping = true;
        else if (lastPh >= 0 && i > lastPh)
            ++scaleCommas;
        else
            intParts.push_back({Kind::Literal, QStringLiteral(",")});
    }

    int decimals = 0;
    for (const Token &t : fracTokens)
        decimals += isPlaceholder(t) ? 1 : 0;
    const bool anyPlaceholder = lastPh >= 0 || decimals > 0;

    double magnitude = std::fabs(value);
    if (percent)
        magnitude *= 100.0;
    for (int i = 0; i < scaleCommas; ++i)
        magnitude /= 1000.0;

    QString all = scaledDigits(magnitude, decimals);
    if (all.size() < decimals + 1)
        all.prepend(QString(decimals + 1 - all.size(), QLatin1Char('0')));
    QString intDigits = all.left(all.size() - decimals);
    const QString fracDigits = all.right(decimals);
    bool isZero = true;
    for (const QChar c : all)
        isZero = isZero && c == QLatin1Char('0');
    while (intDigits.startsWith(QLatin1Char('0')))
        intDigits.remove(0, 1);

    // Integer part: digits right-aligned onto the placeholders, the surplus
    // at the leftmost one, literals where they stand.
    int placeholders = 0;
    for (const Token &t : intParts)
        placeholders += isPlaceholder(t) ? 1 : 0;
    QString intOut;
    std::vector<bool> isDigit;
    auto emitDigits = [&](const QString &d) {
        intOut += d;
        isDigit.insert(isDigit.end(), size_t(d.size()), true);
    };
    const int surplus = qMax(0, int(intDigits.size()) - placeholders);
    int phSeen = 0;
    for (const Token &t : intParts) {
        if (!isPlaceholder(t)) {
            const QString text = t.kind == Kind::Percent ? QStringLiteral("%") : t.text;
            intOut += text;
            isDigit.insert(isDigit.end(), size_t(text.size()), false);
            continue;
        }
        if (phSeen == 0)
            emitDigits(intDigits.left(surplus));
        const int fromRight = placeholders - 1 - phSeen;
        ++phSeen;
        if (fromRight < intDigits.size())
            emitDigits(QString(intDigits.at(intDigits.size() - 1 - fromRight)));
        else if (t.kind == Kind::Zero)
            emitDigits(QStringLiteral("0"));
    }
    if (placeholders == 0 && anyPlaceholder)
        emitDigits(intDigits);

    if (grouping) {
        int total = 0;
        for (bool d : isDigit)
            total += d ? 1 : 0;
        QString grouped;
        int seen = 0;
        for (int i = 0; i < intOut.size(); ++i) {
            if (isDigit[size_t(i)]) {
                if (seen > 0 && (total - seen) % 3 == 0)
                    grouped += QLatin1Char(',');
                ++seen;
            }
            grouped += intOut.at(i);
        }
        intOut = grouped;
    }

    // Fraction: optional trailing digits that are zero are dropped.
    int keepUpTo = decimals;
    {
        int ph = decimals;
        for (int i = int(fracTokens.size()) - 1; i >= 0; --i) {
            const Token &t = fracTokens[size_t(i)];
            if (!isPlaceholder(t))
                continue;
            --ph;
            if (t.kind == Kind::Hash && fracDigits.at(ph) == QLatin1Char('0') && ph + 1 == keepUpTo)
                keepUpTo = ph;
            else
                break;
        }
    }
    QString fracOut;
    int ph = 0;
    for (const Token &t : fracTokens) {
        if (isPlaceholder(t)) {
            if (ph < keepUpTo)
                fracOut += fracDigits.at(ph);
            ++ph;
        } else {
            fracOut += t.kind == Kind::Percent ? QStringLiteral("%") : t.text;
        }
    }

    QString out = intOut;
    if (hasPoint)
        out += QLatin1Char('.') + fracOut;
    if (showSign && value < 0 && !isZero && anyPlaceholder)
        out.prepend(QLatin1Char('-'));
    return out;
}

} // namespace

QString formatNumber(double value, const QString &pattern)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    if (pattern.isEmpty())
        return generalNumber(value);

    const QStringList sections = splitSections(pattern);
    QString section = sections.at(0);
    bool showSign = true;
    if (value < 0 && sections.size() >= 2 && !sections.at(1).isEmpty()) {
        section = sections.at(1);
        showSign = false;
    } else if (value == 0 && sections.size() >= 3 && !sections.at(2).isEmpty()) {
        section = sections.at(2);
    }
    return formatSection(value, tokenize(section), showSign);
}

double tidyValue(double value)
{
    if (!std::isfinite(value))
        return value;
    const float single = float(value);
    if (double(single) == value) {
        // Held as a single: its own shortest form.
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, single).ptr;
        // from_chars, not strtod: the C locale may use a decimal comma.
        double tidy = value;
        std::from_chars(text, end, tidy);
        return tidy;
    }
    return QByteArray::number(value, 'g', 15).toDouble();
}

} // namespace vantoro
