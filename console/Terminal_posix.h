// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pseudo-terminal a command runs on: this process keeps the master side, the command gets the
// other side as its standard input and output. It is a terminal a line console can honour: lines
// are edited and echoed by the terminal as by default (a program may turn either off, and that
// is seen here), output comes as written (no CR put before each LF), input is UTF-8, TERM=dumb,
// and the pagers of git, man and others print straight through instead of waiting for keys.

#include <string>
#include <vector>

#include "console/ProcessPlatform.h"
#include "platform/SysError.h"

namespace pelorin::posix {

// The size a terminal has until the console tells it its own.
inline constexpr int kDefaultColumns = 80;
inline constexpr int kDefaultRows = 24;

// Opens a terminal pair of the given size (0: the default) and sets it up; master is
// close-on-exec, non-blocking and above the standard streams; slavePath names the command's side.
SysError OpenTerminal(int& master, std::string& slavePath, int columns = 0, int rows = 0);

TerminalState ReadTerminalState(int master);
// The character that ends input at the start of a line (Ctrl+D unless the command changed it).
char EndOfInputChar(int master);
void SetTerminalSize(int master, int columns, int rows);
// The input the command never read, without waiting: what waits in the terminal's input queue.
std::string ReadUnreadInput(int master, const std::string& slavePath);

// The environment a command gets on its terminal: base (null: this process's) with TERM=dumb
// and the pager variables set to cat.
std::vector<std::string> TerminalEnvironment(const std::vector<std::string>* base);

}  // namespace pelorin::posix
