// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FolderTree.h"

namespace pelorin::platform {

// The empty root lists every drive as a top-level item.
QString FolderTreeRootPath() {
  return QString();
}

}  // namespace pelorin::platform
