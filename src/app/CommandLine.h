#pragma once

#include <optional>

// The command line: --help and --version, and nothing else of ours. The window system's options
// (-platform, -display, -style, ...) are Qt's; QApplication takes them out of argv when it is made.
namespace CommandLine
{
// Before the QApplication is made, so that neither needs a display: answers --help or --version
// on stdout and gives the exit code 0; gives nothing when the program is to start.
std::optional<int> answerInformationOptions(int argc, char *argv[]);

// Once QApplication has taken its own options: an unknown option or an argument is told on
// stderr and gives the exit code 1; gives nothing when all is understood.
std::optional<int> refuseUnknownArguments();
} // namespace CommandLine
