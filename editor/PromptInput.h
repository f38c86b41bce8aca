// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The rules that make the editor surface a console: only the last line is writable and never
// while a command runs, Enter takes the command behind the prompt, a damaged prompt is refused,
// the caret's line can be highlighted, and F2 writes the last command again. On the input line
// while no command runs, Up and Down go through the commands run so far and Tab completes file
// names; anywhere else, and while a command runs, those keys keep the surface's own meaning.
// While a command runs, typing goes to it (PendingInput).

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "console/FileCompletion.h"

#include "editor/EditorEvents.h"
#include "editor/PendingInput.h"

namespace pelorin {

class ConsoleEditor;
class ConsoleSession;

class PromptInput : public EditorEvents {
 public:
  using HighlightFlag = std::function<bool()>;
  using ContextMenu = std::function<void(int x, int y)>;

  PromptInput(ConsoleEditor& editor, ConsoleSession& session, HighlightFlag highlightOn);

  // Shown on a right click, before the line state is refreshed.
  void SetContextMenu(ContextMenu menu) { contextMenu_ = std::move(menu); }

  void RefreshLineState();
  // What the user types to a running command.
  PendingInput& Pending() { return pending_; }

  void FocusGained() override;
  bool TypedKey(int qtKey, int modifiers, const std::string& text) override;
  void Pasted() override;
  bool BeforeKey() override;
  bool LineKey(int qtKey) override;
  bool AfterKey() override;
  bool MouseClick(int button, int shift, int x, int y) override;
  bool EnterPressed() override;

  // The window's key release (it sees keys typed into the surface too). qtKey is a Qt::Key.
  void WindowKeyReleased(int qtKey);

 private:
  bool OnInputLine() const;
  void Recall(int qtKey, const std::string& line, const std::string& prompt);
  void Complete(const std::string& line, const std::string& prompt);

  ConsoleEditor& editor_;
  ConsoleSession& session_;
  HighlightFlag highlightOn_;
  ContextMenu contextMenu_;
  PendingInput pending_{editor_, session_};
  // The input line and the caret's byte in it after the last Tab: a Tab that adds nothing
  // right after another lists the names.
  std::string lastTabLine_;
  std::size_t lastTabCaret_ = 0;
  std::vector<CompletionCandidate> choices_;
  std::size_t choiceWordStart_ = 0;  // byte of the last line where the listed word begins
};

}  // namespace pelorin
