// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/PromptInput.h"

#include <Qt>
#include <string>

#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"
#include "platform/LineEnd.h"
#include "qtsupport/InputCodes.h"

namespace pelorin {

PromptInput::PromptInput(ConsoleEditor& editor, ConsoleSession& session, HighlightFlag highlightOn)
    : editor_(editor), session_(session), highlightOn_(std::move(highlightOn)) {}

void PromptInput::RefreshLineState() {
  if (highlightOn_ && highlightOn_()) {
    editor_.SetHighlightRow(editor_.CurrentLine());
  }
  editor_.SetReadOnly(session_.bBusy() || !OnInputLine());
}

bool PromptInput::OnInputLine() const {
  // The selection counts as much as the caret: a selection reaching into earlier lines (after
  // select all, say) would let one key press replace the history.
  const int last = editor_.LineCount() - 1;
  return editor_.CurrentLine() == last && editor_.SelectionStartLine() == last;
}

void PromptInput::FocusGained() {
  RefreshLineState();
}

bool PromptInput::BeforeKey() {
  if (session_.bBusy() || !OnInputLine()) {
    editor_.SetReadOnly(true);
  }
  return false;
}

bool PromptInput::AfterKey() {
  RefreshLineState();
  return false;
}

bool PromptInput::MouseClick(int button, int /*shift*/, int x, int y) {
  const bool right = button == kRightButton;
  if (right && contextMenu_) {
    contextMenu_(x, y);
  }
  RefreshLineState();
  return right;
}

bool PromptInput::EnterPressed() {
  const int n = editor_.LineCount();
  if (editor_.CurrentLine() != n - 1) {
    return true;  // Enter on an earlier line does nothing at all
  }
  const std::string line = editor_.LineText(n - 1);
  const std::string prompt = ConsoleSession::Prompt();
  if (!line.starts_with(prompt)) {
    session_.AppendText(std::string(LineEnd()) + "Invalid input");
    session_.ExecuteCommand({});
    return true;
  }
  session_.ExecuteCommand(line.substr(prompt.size()));
  return true;
}

void PromptInput::WindowKeyReleased(int qtKey) {
  if (qtKey == Qt::Key_F2) {
    // While a command runs the recall would land in the middle of its output.
    if (!session_.bBusy()) {
      session_.AppendText(session_.strLastCommand());
    }
  }
}

}  // namespace pelorin
