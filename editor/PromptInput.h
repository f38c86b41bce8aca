// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The rules that make the editor surface a console. The input is what follows the last prompt:
// the rest of its line and, after a paste of several lines, the lines below it; nothing before
// it can be changed, and the prompt itself is protected (Backspace stops at the input's start,
// a selection reaching into the prompt cannot be deleted or typed over, Home goes to the input's
// start). Enter takes the input: its first line runs, the others wait their turn in the
// session's queue; a damaged prompt is refused. Escape clears the input; F2 writes the last
// command again. On the prompt's line, while no command runs, Up and Down go through the
// commands run so far (those beginning with what is typed), Tab completes and Ctrl+R searches
// the history; anywhere else those keys keep the surface's own meaning.
//
// While a command runs, typing goes to it (PendingInput): the input is then what follows the
// command's output, Enter sends its line to the command, and the prompt's keys rest.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "console/FileCompletion.h"

#include "editor/EditorEvents.h"
#include "editor/HistorySearch.h"
#include "editor/PendingInput.h"

namespace pelorin {

class ConsoleEditor;
class ConsoleLinks;
class ConsoleSession;

class PromptInput : public EditorEvents {
 public:
  using HighlightFlag = std::function<bool()>;
  using ContextMenu = std::function<void(int x, int y)>;

  PromptInput(ConsoleEditor& editor, ConsoleSession& session, HighlightFlag highlightOn);
  ~PromptInput() override;

  // Shown on a right click, before the line state is refreshed.
  void SetContextMenu(ContextMenu menu) { contextMenu_ = std::move(menu); }

  void RefreshLineState();
  // Pastes the clipboard where the user may type now, as typing would put it (EDIT:PASTE).
  void Paste();
  // What the user types to a running command.
  PendingInput& Pending() { return pending_; }

  void FocusGained() override;
  bool TypedKey(int qtKey, int modifiers, const std::string& text) override;
  void Pasted() override;
  bool BeforeKey() override;
  bool InputKey(const QKeyEvent& key) override;
  bool LineKey(int qtKey) override;
  bool AfterKey() override;
  bool MouseClick(int button, int shift, int x, int y) override;
  bool EnterPressed() override;
  void CaretPlaced() override { RefreshLineState(); }
  std::pair<std::size_t, std::size_t> LinkAt(int line, std::size_t byte) override;
  bool LinkClicked(int line, std::size_t byte) override;

  // The window's key release (it sees keys typed into the surface too). qtKey is a Qt::Key.
  void WindowKeyReleased(int qtKey);

 private:
  // The one place that decides where the user may type: idle, anywhere in the input (the
  // caret and the selection on the prompt's line or below it); while a command runs, inside
  // the input typed to it, behind its output.
  bool MayEdit() const;
  // Where the input begins, as (line, byte): behind the prompt, or where the input typed to the
  // running command starts.
  std::pair<int, std::size_t> InputStart() const;
  // Makes room for typed or pasted text: the caret goes to the end of the input when it is not
  // in it. False when the edit must not happen (a selection reaching before the input).
  bool PrepareTyping();
  bool ProtectsInput(const QKeyEvent& key);
  void Recall(int qtKey, const std::string& line, const std::string& prompt);
  void Complete(int line, std::size_t inputStart);

  ConsoleEditor& editor_;
  ConsoleSession& session_;
  HighlightFlag highlightOn_;
  ContextMenu contextMenu_;
  HistorySearch search_;
  std::unique_ptr<ConsoleLinks> links_;
  // The prompt's line before a key that might reach into it, to put back if it did.
  std::string guard_;
  PendingInput pending_{editor_, session_};
  // The input line and the caret's byte in it after the last Tab: a Tab that adds nothing
  // right after another lists the names.
  std::string lastTabLine_;
  std::size_t lastTabCaret_ = 0;
  std::vector<CompletionCandidate> choices_;
  int choiceLine_ = 0;
  std::size_t choiceWordStart_ = 0;  // byte of choiceLine_ where the listed word begins
};

}  // namespace pelorin
