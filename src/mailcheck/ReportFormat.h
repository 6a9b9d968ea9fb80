#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
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

// The time format of the report: the locale's long one without its zone, or "H:mm:ss" where that
// spells the units out in words (Thai: "8 นาฬิกา 21 นาที 56 วินาที"), which does not fit the box.
// Windows' Thai regional settings write the long time as H:mm:ss.
QString reportTimeFormat(const QLocale &locale);

// txtLastCheck: "เช็คเมื่อ " + the short date + " เวลา " + the long time + " น.".
QString lastCheckText(const QDate &date, const QTime &time, const QLocale &locale);

} // namespace ReportFormat
