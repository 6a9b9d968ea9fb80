#include "settings/NumberRules.h"

#include <charconv>
#include <limits>
#include <string>

namespace
{

bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t';
}

bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

} // namespace

bool parseNumber(QStringView text, double *value)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text.at(begin)))
        ++begin;
    while (end > begin && isBlank(text.at(end - 1)))
        --end;

    bool negative = false;
    qsizetype i = begin;
    if (i < end && (text.at(i) == u'+' || text.at(i) == u'-')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    // Only the plain form reaches from_chars: digits, at most one point, no sign.
    std::string plain;
    plain.reserve(std::size_t(end - i));
    bool point = false;
    bool anyDigit = false;
    bool integerPartNonZero = false;
    bool anyNonZero = false;
    for (; i < end; ++i) {
        const QChar c = text.at(i);
        if (isDigit(c)) {
            anyDigit = true;
            if (c != u'0') {
                anyNonZero = true;
                integerPartNonZero = integerPartNonZero || !point;
            }
        } else if (c == u'.' && !point) {
            point = true;
        } else {
            return false;
        }
        plain.push_back(char(c.unicode()));
    }
    if (!anyDigit)
        return false;
    if (!value)
        return true;

    double magnitude = 0;
    if (anyNonZero) {
        const auto [ptr, ec] = std::from_chars(plain.data(), plain.data() + plain.size(), magnitude,
                                               std::chars_format::fixed);
        if (ec == std::errc::result_out_of_range) {
            magnitude = integerPartNonZero ? std::numeric_limits<double>::infinity()
                                           : std::numeric_limits<double>::denorm_min();
        } else if (ec != std::errc() || ptr != plain.data() + plain.size()) {
            return false; // cannot happen for the form checked above
        }
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

bool equalsOne(QStringView text, bool *failed)
{
    double value = 0;
    const bool number = parseNumber(text, &value);
    if (failed)
        *failed = !number;
    return number && value == 1.0;
}

bool passesEqualsOne(QStringView text)
{
    bool failed = false;
    const bool equal = equalsOne(text, &failed);
    return equal || failed;
}

std::optional<qint64> toNearestInteger(QStringView text)
{
    if (!parseNumber(text))
        return std::nullopt;
    // Rounded on the decimal digits themselves, so that counts beyond 2^53 stay exact.
    qsizetype i = 0;
    qsizetype end = text.size();
    while (isBlank(text.at(i)))
        ++i;
    while (isBlank(text.at(end - 1)))
        --end;
    bool negative = false;
    if (text.at(i) == u'+' || text.at(i) == u'-') {
        negative = text.at(i) == u'-';
        ++i;
    }
    std::string integer = negative ? "-" : "";
    for (; i < end && text.at(i) != u'.'; ++i)
        integer.push_back(char(text.at(i).unicode()));
    // The fraction against one half: above, below or exactly a half.
    int againstHalf = -1;
    if (i < end) {
        const QStringView fraction = text.mid(i + 1, end - i - 1);
        if (!fraction.isEmpty()) {
            againstHalf = fraction.at(0) > u'5' ? 1 : fraction.at(0) < u'5' ? -1 : 0;
            if (againstHalf == 0) {
                for (const QChar c : fraction.mid(1)) {
                    if (c != u'0') {
                        againstHalf = 1;
                        break;
                    }
                }
            }
        }
    }
    qint64 whole = 0;
    if (integer.size() > (negative ? 1u : 0u)) {
        const auto [ptr, ec] =
            std::from_chars(integer.data(), integer.data() + integer.size(), whole);
        if (ec != std::errc() || ptr != integer.data() + integer.size())
            return std::nullopt; // beyond 64 bits
    }
    const bool awayFromZero = againstHalf > 0 || (againstHalf == 0 && whole % 2 != 0);
    if (!awayFromZero)
        return whole;
    if (negative) {
        if (whole == std::numeric_limits<qint64>::min())
            return std::nullopt;
        return whole - 1;
    }
    if (whole == std::numeric_limits<qint64>::max())
        return std::nullopt;
    return whole + 1;
}

std::optional<int> toCheckState(QStringView text)
{
    const std::optional<qint64> n = toNearestInteger(text);
    if (!n || *n < 0 || *n > 2)
        return std::nullopt;
    return int(*n);
}
