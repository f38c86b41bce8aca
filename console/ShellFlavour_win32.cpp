// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of cmd: double quotes only.

#include "console/CommandLine.h"

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Windows;
}

}  // namespace pelorin
