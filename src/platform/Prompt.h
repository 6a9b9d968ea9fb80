#pragma once

#include <QString>

// Modal message boxes: one with an OK button only, and a yes/no question. Tests put a recorder in
// its place.
class Prompt
{
public:
    virtual ~Prompt() = default;
    // Returns when the user has confirmed the message.
    virtual void message(const QString &caption, const QString &text) = 0;
    // True only for an explicit yes; closing the box, or Esc, is a no. A prompt that cannot ask
    // answers no: nothing is ever trusted by default.
    virtual bool question(const QString & /*caption*/, const QString & /*text*/) { return false; }
};
