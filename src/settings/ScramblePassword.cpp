#include "settings/ScramblePassword.h"

QByteArray ScramblePassword(const QByteArray &bytes)
{
    QByteArray result(bytes.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < bytes.size(); ++i)
        result[i] = char(255 - static_cast<unsigned char>(bytes.at(i)));
    return result;
}
