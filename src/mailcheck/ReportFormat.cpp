#include "mailcheck/ReportFormat.h"

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace ReportFormat
{

namespace
{

bool isPadding(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

} // namespace

std::optional<qint64> statNumber(const QString &field)
{
    qsizetype begin = 0;
    qsizetype end = field.size();
    while (begin < end && isPadding(field.at(begin)))
        ++begin;
    while (end > begin && isPadding(field.at(end - 1)))
        --end;
    if (begin == end)
        return std::nullopt;

    constexpr qint64 max = std::numeric_limits<qint64>::max();
    qint64 value = 0;
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = field.at(i).unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value > (max - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

QString kilobytes(qint64 octets)
{
    // std::round takes halves away from zero; a double holds every result exactly (octets / 1024
    // stays below 2^53).
    return QString::number(std::round(static_cast<double>(octets) / 1024.0), 'f', 0);
}

QString withoutTimeZone(const QString &timeFormat)
{
    QString result;
    result.reserve(timeFormat.size());
    bool quoted = false;
    for (qsizetype i = 0; i < timeFormat.size(); ++i) {
        const QChar c = timeFormat.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            result += c;
            continue;
        }
        if (quoted || c != u't') {
            result += c;
            continue;
        }
        while (i + 1 < timeFormat.size() && timeFormat.at(i + 1) == u't')
            ++i;
        // The zone's own brackets, as in "H:mm:ss (t)", go with it.
        const bool bracketed =
            result.endsWith(u'(') && i + 1 < timeFormat.size() && timeFormat.at(i + 1) == u')';
        if (bracketed) {
            result.chop(1);
            ++i;
        }
        // And so does the blank that parts it from the time: before it, or after it at the start.
        if (!result.isEmpty() && result.back().isSpace()) {
            result.chop(1);
        } else if (result.isEmpty()) {
            while (i + 1 < timeFormat.size() && timeFormat.at(i + 1).isSpace())
                ++i;
        }
    }
    return result;
}

QString reportTimeFormat(const QLocale &locale)
{
    const QString format = withoutTimeZone(locale.timeFormat(QLocale::LongFormat));
    // Any letter that is no field of the format, quoted or not, is a word of the locale's.
    const QString fields = u"hHmsazAtP"_s;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') {
            quoted = !quoted;
            continue;
        }
        if (c.isLetter() && (quoted || !fields.contains(c)))
            return u"H:mm:ss"_s;
    }
    return format;
}

QString lastCheckText(const QDate &date, const QTime &time, const QLocale &locale)
{
    return u"เช็คเมื่อ "_s + locale.toString(date, QLocale::ShortFormat) + u" เวลา "_s +
           locale.toString(time, reportTimeFormat(locale)) + u" น."_s;
}

} // namespace ReportFormat
