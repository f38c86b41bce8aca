// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The helper program (pelorin-helper) and what this process hands to it. Read ends given up while
// something may still write into them must not be closed: the writer would die of SIGPIPE at its
// next write (or, for a terminal, of the hang-up), and a command left running, or a program it
// left in the background, would stop half-way through its work.

#include <string>

namespace pelorin {

// The helper program: PELORIN_HELPER when set (the tests point it at the build's), else
// pelorin-helper beside the running program, else in the installed layout's
// libexec/pelorin beside its bin. Empty when there is none.
const std::string& HelperProgram();

// Takes the read ends (either may be -1) and leaves this process without them. An end whose
// writers are all gone is simply closed; the others go to the helper program, which reads and
// throws away what arrives until their last writer has closed them, then ends. That process is
// started afresh (it holds nothing of this one), is no child of this one, leads a session of its
// own (a terminal closing does not end it), and outlives this process. Without the helper a
// thread of this process reads them until the writers are gone or this process ends.
void DiscardInBackground(int outFd, int errFd);

}  // namespace pelorin
