#pragma once

#include <QString>
#include <QStringView>
#include <optional>

// The number rules that the interval box and the start-up apply to texts.

// A text is a number when, apart from blanks or tabs at either end, it is an optional sign and
// digits with an optional decimal point and fraction, at least one digit in all ("7", " -2 ",
// "+1.5", ".5", "5."). Nothing else counts: no exponents, no group separators, no locale.
// Sets *value (when given) to the number; a number too large for a double becomes infinity, one
// too small but not zero becomes the smallest positive double of its sign.
bool parseNumber(QStringView text, double *value = nullptr);

// Compares the text with 1 as numbers ("1", " 1", "01", "1.0" are equal to 1). A text that is not
// a number makes the comparison fail: returns false and sets *failed.
bool equalsOne(QStringView text, bool *failed);

// The start-up's guarded test "equals 1": a failing comparison counts as passed.
bool passesEqualsOne(QStringView text);

// The nearest integer of a numeric text, halves to the even neighbour ("2.5" gives 2, "3.5"
// gives 4); nothing for a text that is not a number or lies outside 64 bits.
std::optional<qint64> toNearestInteger(QStringView text);

// A check-box state from stored text: the nearest integer when it is 0, 1 or 2, else nothing
// (the box refuses it and keeps its state).
std::optional<int> toCheckState(QStringView text);
