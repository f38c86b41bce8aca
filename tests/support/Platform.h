// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The platform the tests were built for. The cross build runs the same test sources under Wine;
// the few cases whose expected result is one platform's own behaviour skip themselves elsewhere.

namespace pelorin::test {

#ifdef _WIN32
inline constexpr bool kWindows = true;
#else
inline constexpr bool kWindows = false;
#endif

}  // namespace pelorin::test
