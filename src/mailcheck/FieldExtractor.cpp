#include "mailcheck/FieldExtractor.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace
{

// 1-based position of the first occurrence of separator at position from or later; 0 for none,
// and 0 when from lies beyond the end of the text.
qsizetype searchFrom(const QString &text, qsizetype from, const QString &separator)
{
    if (from > text.size())
        return 0;
    const qsizetype index = text.indexOf(separator, from - 1, Qt::CaseSensitive);
    return index < 0 ? 0 : index + 1;
}

} // namespace

std::optional<QString> Get_After_Seperator(const QString &strString, qint16 intNthOccurance,
                                           const QString &strSeperator)
{
    if (intNthOccurance == 0) {
        const qsizetype found = searchFrom(strString, 1, strSeperator);
        if (found == 0)
            return strString;
        return strString.left(found - 1);
    }

    if (intNthOccurance == std::numeric_limits<qint16>::min())
        return std::nullopt;
    const qint16 repetitions = static_cast<qint16>(intNthOccurance - 1);

    qsizetype pos = searchFrom(strString, 1, strSeperator);
    bool missing = false;
    for (int i = 1; i <= repetitions; ++i) {
        // After a miss pos is 0 and the next search starts over at position 1; the flag stays.
        pos = searchFrom(strString, pos + 1, strSeperator);
        if (pos == 0)
            missing = true;
    }
    ++pos;
    if (pos > strString.size())
        missing = true;
    if (missing)
        return u"NOT FOUND"_s;

    const qsizetype end = searchFrom(strString, pos, strSeperator);
    if (end == 0)
        return strString.mid(pos - 1);
    return strString.mid(pos - 1, end - pos);
}
