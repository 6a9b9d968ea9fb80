#pragma once

#include <QString>
#include <optional>

// One field of a line whose fields are divided by strSeperator: the text after occurrence
// intNthOccurance of the separator up to the next one (occurrence 0: the text before the first).
// A field that does not exist reads "NOT FOUND". The separator is taken to be one character long
// when the field's start is worked out, so a longer one leaves its tail at the field's front.
// Empty only when intNthOccurance is -32768: the repetition count (intNthOccurance - 1) overflows
// 16 bits, and the caller decides what that means.
std::optional<QString> Get_After_Seperator(const QString &strString, qint16 intNthOccurance,
                                           const QString &strSeperator);
