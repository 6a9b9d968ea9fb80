#pragma once

class OAuth2Credentials;

// Before the program ends: a refresh token that the last refresh rotated is kept, since the old
// one no longer works. Waits for the keyring at most as long as the bus waits for one call.
void waitForKeyringWrites(const OAuth2Credentials &tokens);
