#pragma once

// Qt compiles a regular expression to machine code (PCRE2's JIT) when it is first matched. The
// only expressions this program matches are Qt's own, a few per secure check (the name filter it
// lists the system's certificate folder with), where the interpreter is as quick; the JIT compiler
// would stay paged in for the rest of the run, about 150 kB. The choice goes through the
// environment (QT_ENABLE_REGEXP_JIT), which Qt reads once, at the first match.
namespace RegexEngine
{
// Asks Qt for the interpreter unless the user's environment already says which engine to use.
// Run before anything matches an expression. Returns whether it asked.
bool preferInterpreter();
// Takes the request back out of the environment, so that a program started from here (a browser)
// does not inherit it. Run before starting one.
void keepFromChildren();
} // namespace RegexEngine
