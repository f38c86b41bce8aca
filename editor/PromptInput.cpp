// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/PromptInput.h"

#include <Qt>
#include <string>

#include "console/CommandLine.h"
#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "qtsupport/InputCodes.h"

namespace pelorin {

PromptInput::PromptInput(ConsoleEditor& editor, ConsoleSession& session, HighlightFlag highlightOn)
    : editor_(editor), session_(session), highlightOn_(std::move(highlightOn)) {}

void PromptInput::RefreshLineState() {
  if (highlightOn_ && highlightOn_()) {
    editor_.SetHighlightRow(editor_.CurrentLine());
  }
  if (session_.bBusy()) {
    pending_.Refresh();
    editor_.SetReadOnly(!pending_.Writable());
  } else {
    editor_.SetReadOnly(!OnInputLine());
  }
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
  if (session_.bBusy()) {
    editor_.SetReadOnly(!pending_.Writable());
  } else if (!OnInputLine()) {
    editor_.SetReadOnly(true);
  }
  return false;
}

bool PromptInput::TypedKey(int qtKey, int modifiers, const std::string& text) {
  return session_.bBusy() && pending_.Key(qtKey, modifiers, text);
}

void PromptInput::Pasted() {
  if (session_.bBusy()) {
    pending_.Refresh();
  }
}

bool PromptInput::LineKey(int qtKey) {
  if (session_.bBusy() || !OnInputLine()) {
    return false;  // the surface's own meaning: moving the caret through the history
  }
  const std::string line = editor_.LineText(editor_.LineCount() - 1);
  const std::string prompt = ConsoleSession::Prompt();
  // A damaged prompt gets neither recall nor completion: Enter refuses that line anyway.
  if (line.starts_with(prompt)) {
    if (qtKey == Qt::Key_Tab) {
      Complete(line, prompt);
    } else if (qtKey != Qt::Key_Backtab) {
      Recall(qtKey, line, prompt);
    }
  }
  return true;  // Tab never types a tab character on the input line
}

void PromptInput::Recall(int qtKey, const std::string& line, const std::string& prompt) {
  CommandHistory& history = session_.History();
  const std::optional<std::string> entry =
      qtKey == Qt::Key_Up ? history.Older(line.substr(prompt.size())) : history.Newer();
  if (entry) {
    editor_.ReplaceInLastLine(prompt.size(), std::string::npos, *entry);
  }
}

void PromptInput::Complete(const std::string& line, const std::string& prompt) {
  const std::size_t caret = editor_.CaretByte();
  if (caret < prompt.size()) {
    return;
  }
  const std::string before = line.substr(prompt.size(), caret - prompt.size());
  FileCompletion c = CompleteFileName(before, CurrentDirectory(), TildeHome());
  const std::size_t wordStart = prompt.size() + c.wordStart;
  const bool repeated = lastTabLine_ == line && lastTabCaret_ == caret;
  // A name holding a line break cannot stand on the input line.
  if (c.replacement != before.substr(c.wordStart) &&
      c.replacement.find_first_of("\r\n") == std::string::npos) {
    editor_.ReplaceInLastLine(wordStart, caret, c.replacement);
  } else if (repeated && !c.candidates.empty()) {
    choices_ = std::move(c.candidates);
    choiceWordStart_ = wordStart;
    std::vector<std::string> names;
    names.reserve(choices_.size());
    for (const CompletionCandidate& candidate : choices_) {
      names.push_back(candidate.name);
    }
    editor_.ShowChoices(names, [this](std::size_t index) {
      const std::string& replacement = choices_[index].replacement;
      if (!replacement.empty() && !session_.bBusy() && OnInputLine() &&
          replacement.find_first_of("\r\n") == std::string::npos) {
        editor_.ReplaceInLastLine(choiceWordStart_, editor_.CaretByte(), replacement);
      }
    });
  }
  lastTabLine_ = editor_.LineText(editor_.LineCount() - 1);
  lastTabCaret_ = editor_.CaretByte();
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
