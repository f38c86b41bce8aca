#include "prefs/DefaultStartDir.h"

namespace pelorin {

std::string DefaultStartDir() {
  return "c:\\";
}

}  // namespace pelorin
