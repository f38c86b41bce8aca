// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading and throwing away what arrives on descriptors until their writers are gone: what keeps
// a program left running from dying of a closed pipe (SIGPIPE) or a closed terminal (hang-up).
// Used by the helper program and, where it cannot be started, by a thread of this process.

namespace pelorin::posix {

// Reads each descriptor (a negative one is left out) until every writer of it is gone (end of
// data, or EIO from a terminal's master once no one holds its other side), then closes it.
// Returns when both are closed.
void DrainUntilWritersGone(int a, int b);

// True when the descriptor has no writer left: closing it harms no one.
bool WritersGone(int fd);

}  // namespace pelorin::posix
