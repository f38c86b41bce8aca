// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Ctrl+R on the input line: the earlier commands that hold what is typed there, newest first,
// in the list of choices Tab uses. Typing on (or Backspace) narrows the list again; Enter puts
// the chosen command on the input line, Escape closes the list and leaves the line as it is.

#include <QString>
#include <cstddef>
#include <string>
#include <vector>

class QKeyEvent;

namespace pelorin {

class CommandHistory;
class ConsoleEditor;

class HistorySearch {
 public:
  HistorySearch(ConsoleEditor& editor, CommandHistory& history);

  // Opens the list for the input of line, which begins at byte inputStart.
  void Start(int line, std::size_t inputStart);
  bool Active() const;
  // While the list is open: a key that types or deletes on the input line narrows it; true
  // when the key was taken. The list's own keys (Enter, Escape, arrows) are left to it.
  bool Key(const QKeyEvent& key);

 private:
  void Show();

  ConsoleEditor& editor_;
  CommandHistory& history_;
  bool active_ = false;
  int line_ = 0;
  std::size_t inputStart_ = 0;
  std::vector<std::string> found_;
};

}  // namespace pelorin
