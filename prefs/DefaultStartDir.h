// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The folder the folder tree opens at when no start-up directory is stored: the root of the
// system drive on Windows, "/" elsewhere.

#include <string>

namespace pelorin {

std::string DefaultStartDir();

}  // namespace pelorin
