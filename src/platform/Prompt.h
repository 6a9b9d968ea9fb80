#pragma once

#include <QString>

// A modal message box with an OK button only. Tests put a recorder in its place.
class Prompt
{
public:
    virtual ~Prompt() = default;
    // Returns when the user has confirmed the message.
    virtual void message(const QString &caption, const QString &text) = 0;
};
