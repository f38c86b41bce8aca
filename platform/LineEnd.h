// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace pelorin {

// The line end the program itself writes: CR LF on Windows, LF elsewhere.
const char* LineEnd();

}  // namespace pelorin
