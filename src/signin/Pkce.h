#pragma once

#include <QByteArray>

// Proof Key for Code Exchange (RFC 7636) and the state that ties a redirect to its request: fresh
// random values from the system's generator, in base64url without padding.
namespace Pkce
{

// A code_verifier of 86 characters (64 random bytes), within the 43 to 128 RFC 7636 allows.
QByteArray newVerifier();
// The S256 code_challenge: base64url(SHA-256(verifier)).
QByteArray challenge(const QByteArray &verifier);
// A state value of 43 characters (32 random bytes).
QByteArray newState();

} // namespace Pkce
