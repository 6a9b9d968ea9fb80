#pragma once

#include <QString>
#include <optional>

// The conversions behind the check report's texts.
namespace ReportFormat
{

// A count or a size field of a STAT reply: plain decimal digits, with blanks, tabs, CR and LF
// around them ignored. Empty for anything else (no digits, a sign, other characters) and for a
// number past 64 bits.
std::optional<qint64> statNumber(const QString &field);

// Octets as whole kilobytes (1024), rounded half away from zero, no digit grouping.
QString kilobytes(qint64 octets);

// A QLocale time format without its time-zone part: the long format gives hours, minutes and
// seconds, and Qt's long format adds a zone that the report has no place for.
QString withoutTimeZone(const QString &timeFormat);

} // namespace ReportFormat
