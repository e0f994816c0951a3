#include "support/windows_error.h"

#include "support/wide_text.h"

namespace orvanta {

std::string SystemErrorText(DWORD error) {
  // The wide call: the narrow one would hand back the text in the ANSI code page, which the
  // UI cannot read when the system speaks, say, Russian under code page 1251.
  wchar_t text[256] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                     text, static_cast<DWORD>(sizeof(text) / sizeof(text[0])), nullptr);
  return Utf8FromWide(std::wstring_view(text, length));
}

}  // namespace orvanta
