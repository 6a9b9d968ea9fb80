#pragma once

#include <QByteArrayView>
#include <QFile>

// Whether a file whose path holds `part` is mapped into this process now: a library or plugin
// that has been loaded.
inline bool isMapped(QByteArrayView part)
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains(part);
}
