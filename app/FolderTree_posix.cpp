#include "app/FolderTree.h"

namespace pelorin::platform {

QString FolderTreeRootPath() {
  return QStringLiteral("/");
}

}  // namespace pelorin::platform
