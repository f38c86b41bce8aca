// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include "app/ErrorMode.h"

namespace pelorin {

void SetProcessErrorMode(unsigned mode) {
  (void)::SetErrorMode(mode);
}

}  // namespace pelorin
