// The system's own text for a Windows error code, as UTF-8 for the logs.
#ifndef ORVANTA_SUPPORT_WINDOWS_ERROR_H_
#define ORVANTA_SUPPORT_WINDOWS_ERROR_H_

#include <windows.h>

#include <string>

namespace orvanta {

// The message FormatMessage gives for `error` in the user's language, at most 255 UTF-16
// units, with the line break the system ends it with; empty when the system has none.
std::string SystemErrorText(DWORD error);

}  // namespace orvanta

#endif  // ORVANTA_SUPPORT_WINDOWS_ERROR_H_
