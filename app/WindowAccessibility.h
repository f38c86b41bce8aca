// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How assistive technologies see the main window itself: as a frame with its caption as its
// name. A plain top-level widget would be a filler without a role a screen reader announces.

namespace pelorin {

// Installs the factory that gives every frmShell the role of a window. Once is enough.
void InstallWindowAccessibility();

}  // namespace pelorin
