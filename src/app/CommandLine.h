#pragma once

#include <optional>

// The command line: --help, --version and --check, and nothing else of ours. The window system's
// options
// (-platform, -display, -style, ...) are Qt's; QApplication takes them out of argv when it is made.
namespace CommandLine
{
// Before the QApplication is made, so that neither needs a display: answers --help or --version
// on stdout and gives the exit code 0; gives nothing when the program is to start.
std::optional<int> answerInformationOptions(int argc, char *argv[]);

// Whether the program is to check the mailbox once without a window (--check, see CheckOnce);
// asked before any application object is made.
bool asksForCheck(int argc, char *argv[]);

// Once the application object has taken its own options: an unknown option or an argument is
// told on stderr and gives `exitCode`; gives nothing when all is understood.
std::optional<int> refuseUnknownArguments(int exitCode = 1);
} // namespace CommandLine
