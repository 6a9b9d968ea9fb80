#include "mailcheck/TcpControl.h"

#include "wording/Wording.h"

bool TcpControl::connectSecure(const QString & /*host*/, quint16 /*port*/, TlsStart /*start*/,
                               QString *errorText)
{
    if (errorText)
        *errorText = Wording::noTlsOnThisConnection();
    return false;
}

bool TcpControl::startTls()
{
    return false;
}
