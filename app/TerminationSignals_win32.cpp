// SPDX-License-Identifier: GPL-3.0-or-later
// A window program receives no console control events, and logging off or shutting down reaches
// it as window messages (WM_QUERYENDSESSION, WM_ENDSESSION), which Qt handles: nothing to add.
#include "app/TerminationSignals.h"

namespace pelorin {

struct TerminationSignals::State {};

TerminationSignals::TerminationSignals(std::function<void()>) {}

TerminationSignals::~TerminationSignals() = default;

}  // namespace pelorin
