// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// UTF-8 <-> UTF-16 for the Windows platform files: the program's strings are UTF-8, the "W"
// functions of the system take UTF-16. Invalid input becomes U+FFFD; embedded NULs are kept.

#include <string>
#include <string_view>

namespace pelorin::win {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace pelorin::win
