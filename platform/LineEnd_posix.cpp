// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/LineEnd.h"

namespace pelorin {
const char* LineEnd() {
  return "\n";
}
}  // namespace pelorin
