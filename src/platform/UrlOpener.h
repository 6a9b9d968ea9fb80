#pragma once

#include <QString>

// Hands an address to the desktop's default handler without waiting for it.
class UrlOpener
{
public:
    virtual ~UrlOpener() = default;
    // The result says whether the desktop accepted the address; callers may ignore it.
    virtual bool open(const QString &address) = 0;
};
