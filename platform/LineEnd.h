#pragma once

namespace pelorin {

// The line end the program itself writes: CR LF on Windows, LF elsewhere.
const char* LineEnd();

}  // namespace pelorin
