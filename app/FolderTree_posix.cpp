// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FolderTree.h"

namespace pelorin::platform {

QString FolderTreeRootPath() {
  return QStringLiteral("/");
}

}  // namespace pelorin::platform
