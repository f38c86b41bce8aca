// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/DefaultStartDir.h"

namespace pelorin {

std::string DefaultStartDir() {
  return "c:\\";
}

}  // namespace pelorin
