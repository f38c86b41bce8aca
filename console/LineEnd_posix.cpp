#include "console/CommandLine.h"

namespace pelorin {
const char* LineEnd() {
  return "\n";
}
}  // namespace pelorin
