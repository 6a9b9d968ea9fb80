#include "signin/SecretStore.h"

#include "wording/Wording.h"

using namespace Qt::StringLiterals;

QString secretKindName(SecretKind kind)
{
    switch (kind) {
    case SecretKind::Password:
        return u"password"_s;
    case SecretKind::OAuth2Refresh:
        return u"oauth2-refresh"_s;
    }
    return {};
}

QString secretProblemLine(SecretProblem problem, const QString &reason)
{
    switch (problem) {
    case SecretProblem::NoBus:
        return Wording::keyringNoBus(reason);
    case SecretProblem::NoService:
        return Wording::keyringNoService(reason);
    case SecretProblem::Locked:
        return Wording::keyringLocked(reason);
    case SecretProblem::Refused:
        return Wording::keyringRefused(reason);
    case SecretProblem::Failed:
        break;
    }
    return Wording::keyringFailed(reason);
}
