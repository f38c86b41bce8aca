// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the user types to a running command: the pending input at the very end of the surface,
// behind the output's last (possibly unfinished) line. Output arriving meanwhile goes in before
// it (ConsoleEditor), so typing and output never mix. Only the pending input can be changed;
// Enter sends it with a line end and leaves it on the surface as typed, and a paste sends every
// line it completes. Input the command does not want shown (its terminal's echo is off for a
// password, or the output asks for a password or passphrase) is hidden: dots on the surface,
// the text only here until it is sent, then nothing of it. Ctrl+D in an empty pending input
// ends the command's input.

#include <string>

namespace pelorin {

class ConsoleEditor;
class ConsoleSession;

class PendingInput {
 public:
  PendingInput(ConsoleEditor& editor, ConsoleSession& session);

  // A command runs and the caret and selection lie in its pending input, which is not hidden:
  // the surface may be changed.
  bool Writable() const;
  // A key while a command runs, before the surface acts on it (Qt key and modifiers, the text
  // it types as UTF-8); true when it was taken here.
  bool Key(int qtKey, int modifiers, const std::string& text);
  // Ctrl+D means the end of the command's input, not the divider panel: a command runs and the
  // caret is in its empty pending input.
  bool TakesEndOfInput() const;
  // After keys, clicks and pastes: lines a paste completed go to the command, and the input is
  // hidden when it should be.
  void Refresh();

 private:
  void Send();

  ConsoleEditor& editor_;
  ConsoleSession& session_;
};

}  // namespace pelorin
