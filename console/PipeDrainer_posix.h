// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Pipes given up while something may still write into them. Closing the read end would kill
// the writer with SIGPIPE at its next write (or fail the write): a command left running, or a
// program it left in the background, would stop half-way through its work.

namespace pelorin {

// Takes the read ends (either may be -1) and leaves this process without them. An end whose
// writers are all gone is simply closed; the others go to a process of their own that reads and
// throws away what arrives until their last writer has closed them, then ends. That process is
// no child of this one, leads a session of its own (a terminal closing does not end it), keeps
// nothing else of this process open, and outlives it. When it cannot be made, the ends are
// closed.
void DiscardInBackground(int outFd, int errFd);

}  // namespace pelorin
