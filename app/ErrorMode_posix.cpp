// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ErrorMode.h"

namespace pelorin {

// No system fault dialog to switch off.
void SetProcessErrorMode(unsigned) {}

}  // namespace pelorin
