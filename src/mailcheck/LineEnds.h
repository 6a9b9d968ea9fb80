#pragma once

#include <QString>

// The line end of both mail protocols and of the status log, and a server's line without it
// (some end their lines with LF alone).
namespace LineEnds
{

inline const QString CrLf = QStringLiteral("\r\n");

inline QString withoutLineEnd(QString line)
{
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

} // namespace LineEnds
