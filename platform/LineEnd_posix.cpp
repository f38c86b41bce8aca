#include "platform/LineEnd.h"

namespace pelorin {
const char* LineEnd() {
  return "\n";
}
}  // namespace pelorin
