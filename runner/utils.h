// Small helpers of the process entry: a console for a process run under a debugger, and the
// process command line as the UTF-8 argument list handed to the UI program.
//
// None of them fails loudly: a console that cannot be opened leaves the process without one,
// a command line that cannot be split gives no arguments, and text that is not valid UTF-16
// becomes an empty text in its place.
#ifndef ORVANTA_RUNNER_UTILS_H_
#define ORVANTA_RUNNER_UTILS_H_

#include <string>
#include <vector>

// Gives the process a console of its own and points the C and C++ standard streams, and the
// UI runtime's own output, at it. Does nothing when no console can be allocated.
void OpenDebugConsole();

// The process command line split by the system's rules, without the program name, as UTF-8.
std::vector<std::string> CollectArguments();

// The same for a given command line; the first entry (the program name) is skipped.
std::vector<std::string> CollectArgumentsFrom(const wchar_t* command_line);

// UTF-16 to UTF-8. Null, empty and invalid input (an unpaired surrogate) give an empty text.
std::string ToUtf8(const wchar_t* utf16);

#endif  // ORVANTA_RUNNER_UTILS_H_
