// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "platform/Utf16_win32.h"
#include "platform/WinAPIError.h"

namespace pelorin {

std::string ApiErrorText(std::uint32_t code) {
  wchar_t buf[256] = {};
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0, buf, 256, nullptr);
  // The first n units exactly as the system wrote them, line end included.
  return n > 0 ? win::Narrow(std::wstring_view(buf, n)) : std::string();
}

}  // namespace pelorin
