// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of sh: quotes of both kinds and backslashes.

#include "console/CommandLine.h"

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Posix;
}

}  // namespace pelorin
