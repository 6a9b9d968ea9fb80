#pragma once

// How a check ended, for those who act on it (a check from the command line, the retry after a
// lost connection).
enum class CheckOutcome {
    NewMail,
    NoNewMail,
    Unreachable,  // the connection failed or dropped (refused, reset, a time-out, BYE): worth
                  // trying again soon
    Failed,       // TLS refused, the protocol broken, a credential that could not be had
    LoginRefused, // the server refused the user name or the credential
};
