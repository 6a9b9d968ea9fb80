#include "mailcheck/TcpControl.h"

using namespace Qt::StringLiterals;

bool TcpControl::ConnectSecure(const QString & /*host*/, quint16 /*port*/, TlsStart /*start*/,
                               QString *errorText)
{
    if (errorText)
        *errorText = u"การเชื่อมต่อนี้เข้ารหัสไม่ได้ : This connection cannot use TLS"_s;
    return false;
}

bool TcpControl::StartTls()
{
    return false;
}
