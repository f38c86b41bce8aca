// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process's error mode, set as the window unloads: from then on a fault of the process ends
// it without the system's fault dialog. Nothing on platforms without one.

namespace pelorin {

// SEM_NOGPFAULTERRORBOX: no fault dialog for this process.
inline constexpr unsigned kNoFaultDialog = 2;

void SetProcessErrorMode(unsigned mode);

}  // namespace pelorin
