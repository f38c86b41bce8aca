#include "editor/PromptInput.h"

#include <Qt>

#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"

namespace pelorin {

PromptInput::PromptInput(ConsoleEditor& editor, CommandInterpreter& interpreter,
                         const ShellState& state, HighlightFlag highlightOn)
    : editor_(editor),
      interpreter_(interpreter),
      state_(state),
      highlightOn_(std::move(highlightOn)) {}

void PromptInput::RefreshLineState() {
  if (highlightOn_ && highlightOn_()) {
    editor_.SetHighlightRow(editor_.CurrentLine());
  }
  editor_.SetReadOnly(state_.bBusy || !OnInputLine());
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
  if (state_.bBusy || !OnInputLine()) {
    editor_.SetReadOnly(true);
  }
  return false;
}

bool PromptInput::AfterKey() {
  RefreshLineState();
  return false;
}

bool PromptInput::MouseClick(int button, int /*shift*/, int x, int y) {
  const bool right = button == 2;
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
  const QString line = editor_.LineText(n - 1);
  const QString prompt = CommandInterpreter::Prompt();
  if (!line.startsWith(prompt, Qt::CaseSensitive)) {
    interpreter_.AppendText(CommandInterpreter::NewLine() + QStringLiteral("Invalid input"));
    interpreter_.ExecuteCommand(QString());
    return true;
  }
  interpreter_.ExecuteCommand(line.mid(prompt.size()));
  return true;
}

void PromptInput::WindowKeyReleased(int qtKey) {
  if (qtKey == Qt::Key_F2) {
    // While a command runs the recall would land in the middle of its output.
    if (!state_.bBusy) {
      interpreter_.AppendText(state_.strLastCommand);
    }
  }
}

}  // namespace pelorin
