#include "console/CommandLine.h"

namespace pelorin {
const char* LineEnd() {
  return "\r\n";
}
}  // namespace pelorin
