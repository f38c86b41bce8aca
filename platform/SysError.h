// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

namespace pelorin {

// A system error code as the platform reports it: errno on POSIX, GetLastError() on Windows.
// 0 means success. ApiErrorText (platform/WinAPIError.h) turns it into the system's message.
using SysError = std::uint32_t;

}  // namespace pelorin
