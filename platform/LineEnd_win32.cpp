#include "platform/LineEnd.h"

namespace pelorin {
const char* LineEnd() {
  return "\r\n";
}
}  // namespace pelorin
