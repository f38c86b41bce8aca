// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/PromptInput.h"

#include <QKeyEvent>
#include <Qt>
#include <string>

#include "console/CommandLine.h"
#include "console/CommandQueue.h"
#include "console/ConsoleSession.h"
#include "console/WordCompletion.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleLinks.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "qtsupport/InputCodes.h"

namespace pelorin {

namespace {

constexpr Qt::KeyboardModifiers kChords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

using Place = std::pair<int, std::size_t>;  // (line, byte in line)

// A key that types its text (AltGr, which Windows reports as Ctrl+Alt, included).
bool TypesText(const QKeyEvent& key) {
  const QString text = key.text();
  if (text.isEmpty() || !text.at(0).isPrint()) {
    return false;
  }
  const Qt::KeyboardModifiers chords = key.modifiers() & kChords;
  return !chords || chords == (Qt::ControlModifier | Qt::AltModifier);
}

}  // namespace

PromptInput::PromptInput(ConsoleEditor& editor, ConsoleSession& session, HighlightFlag highlightOn)
    : editor_(editor),
      session_(session),
      highlightOn_(std::move(highlightOn)),
      search_(editor, session.History()),
      links_(std::make_unique<ConsoleLinks>(editor, session)) {
  editor_.SetPromptInputStart([this] { return InputStart(); });
}

PromptInput::~PromptInput() {
  editor_.SetPromptInputStart({});
}

std::pair<int, std::size_t> PromptInput::InputStart() const {
  if (session_.bBusy()) {
    const int last = editor_.LineCount() - 1;
    return editor_.InputActive() ? editor_.InputStart()
                                 : std::pair(last, editor_.LineText(last).size());
  }
  const int line = session_.PromptLine();
  const std::string prompt = ConsoleSession::Prompt();
  // A damaged prompt protects nothing: Enter refuses that line anyway.
  return {line, editor_.LineText(line).starts_with(prompt) ? prompt.size() : 0};
}

bool PromptInput::MayEdit() const {
  if (session_.bBusy()) {
    return pending_.Writable();
  }
  const int first = session_.PromptLine();
  return editor_.CurrentLine() >= first && editor_.SelectionStartLine() >= first;
}

void PromptInput::RefreshLineState() {
  if (highlightOn_ && highlightOn_()) {
    editor_.SetHighlightRow(editor_.CurrentLine());
  }
  if (session_.bBusy()) {
    pending_.Refresh();
  }
  editor_.SetReadOnly(!MayEdit());
}

void PromptInput::FocusGained() {
  RefreshLineState();
}

bool PromptInput::BeforeKey() {
  editor_.SetReadOnly(!MayEdit());
  guard_.clear();
  if (!session_.bBusy() && editor_.CurrentLine() == session_.PromptLine()) {
    guard_ = editor_.LineText(session_.PromptLine());
    if (!guard_.starts_with(ConsoleSession::Prompt())) {
      guard_.clear();
    }
  }
  return false;
}

bool PromptInput::PrepareTyping() {
  const int last = editor_.LineCount() - 1;
  const std::size_t end = editor_.LineText(last).size();
  if (session_.bBusy()) {
    // Typed while a command runs: it goes to the command's input, wherever the caret was.
    if (!editor_.InputActive()) {
      return false;
    }
    if (!editor_.SelectionInInput()) {
      editor_.SetSelection(last, end, last, end);
    }
    editor_.SetReadOnly(!pending_.Writable());
    return true;
  }
  const Place start = InputStart();
  if (editor_.HasSelectedText()) {
    // Typed over a selection inside the input; one reaching into the prompt, or lying in
    // earlier lines, is not typed over.
    return editor_.SelectionStart() >= start && MayEdit();
  }
  if (editor_.CurrentLine() < start.first) {
    return false;  // an earlier line is read-only
  }
  if (Place{editor_.CurrentLine(), editor_.CaretByte()} < start) {
    editor_.SetSelection(last, end, last, end);  // in the prompt: typing goes to the input's end
  }
  editor_.SetReadOnly(false);
  return true;
}

// Keys that would reach into the prompt (or, while a command runs, into its output) do nothing.
bool PromptInput::ProtectsInput(const QKeyEvent& key) {
  const Place start = InputStart();
  const Place caret{editor_.CurrentLine(), editor_.CaretByte()};
  const bool selected = editor_.HasSelectedText();
  const Qt::KeyboardModifiers mods = key.modifiers() & (kChords | Qt::ShiftModifier);
  switch (key.key()) {
    case Qt::Key_Backspace:
      return selected ? editor_.SelectionStart() < start : caret <= start;
    case Qt::Key_Delete:
      return selected ? editor_.SelectionStart() < start : caret < start;
    case Qt::Key_Home:
      if (caret.first != start.first || (mods & ~Qt::ShiftModifier)) {
        return false;
      }
      if (mods & Qt::ShiftModifier) {
        const Place anchor = selected && caret == editor_.SelectionStart() ? editor_.SelectionEnd()
                             : selected ? editor_.SelectionStart()
                                        : caret;
        editor_.SetSelection(anchor.first, anchor.second, start.first, start.second);
      } else {
        editor_.SetSelection(start.first, start.second, start.first, start.second);
      }
      return true;
    default:
      return false;
  }
}

bool PromptInput::InputKey(const QKeyEvent& key) {
  if (search_.Active()) {
    return search_.Key(key);
  }
  if (editor_.ChoicesShown()) {
    return false;  // the list's own keys
  }
  const Qt::KeyboardModifiers mods = key.modifiers() & (kChords | Qt::ShiftModifier);
  if (key.key() == Qt::Key_R && mods == Qt::ControlModifier) {
    if (MayEdit() && !session_.bBusy() && editor_.CurrentLine() == session_.PromptLine()) {
      const Place start = InputStart();
      search_.Start(start.first, start.second);
    }
    return true;
  }
  if (TypesText(key)) {
    return !PrepareTyping();
  }
  if (key.key() == Qt::Key_Escape && !mods) {
    // Escape clears the input, wherever the caret is.
    if (session_.bBusy()) {
      editor_.ClearInput();
    } else {
      const Place start = InputStart();
      editor_.SetReadOnly(false);
      editor_.ReplaceToEnd(start.first, start.second, "");
    }
    return true;
  }
  return MayEdit() && ProtectsInput(key);
}

bool PromptInput::AfterKey() {
  // A key that took part of the prompt after all (Ctrl+Backspace over its ">"): put it back.
  const int line = session_.PromptLine();
  if (!guard_.empty() && !session_.bBusy() && line < editor_.LineCount() &&
      !editor_.LineText(line).starts_with(ConsoleSession::Prompt())) {
    editor_.SetReadOnly(false);
    editor_.ReplaceInLine(line, 0, std::string::npos, guard_);
    const std::size_t start = ConsoleSession::Prompt().size();
    editor_.SetSelection(line, start, line, start);
  }
  guard_.clear();
  RefreshLineState();
  return false;
}

bool PromptInput::TypedKey(int qtKey, int modifiers, const std::string& text) {
  if (!session_.bBusy()) {
    return false;
  }
  // Text typed anywhere goes to the end of the input typed to the command, hidden or not.
  const auto chords = Qt::KeyboardModifiers::fromInt(modifiers) & kChords;
  const bool typesText = !text.empty() && static_cast<unsigned char>(text[0]) >= 0x20 &&
                         text[0] != '\x7f' &&
                         (!chords || chords == (Qt::ControlModifier | Qt::AltModifier));
  if (typesText && editor_.InputActive() && !editor_.SelectionInInput()) {
    const int last = editor_.LineCount() - 1;
    const std::size_t end = editor_.LineText(last).size();
    editor_.SetSelection(last, end, last, end);
  }
  return pending_.Key(qtKey, modifiers, text);
}

void PromptInput::Pasted() {
  if (session_.bBusy()) {
    pending_.Refresh();
  }
}

bool PromptInput::LineKey(int qtKey) {
  if (!MayEdit()) {
    return false;  // the surface's own meaning: moving the caret through the history
  }
  if (session_.bBusy()) {
    return qtKey == Qt::Key_Backtab;  // a tab goes to the command as typed
  }
  const int line = session_.PromptLine();
  const std::string text = editor_.LineText(line);
  const std::string prompt = ConsoleSession::Prompt();
  const int caretLine = editor_.CurrentLine();
  if (qtKey == Qt::Key_Tab) {
    // The word before the caret, on the prompt's line behind the prompt or on a line below.
    if (caretLine > line) {
      Complete(caretLine, 0);
    } else if (text.starts_with(prompt)) {
      Complete(line, prompt.size());
    }
    return true;  // Tab never types a tab character on the input line
  }
  if (qtKey == Qt::Key_Backtab) {
    return true;
  }
  // Up and Down recall on a one-line input only; over pasted lines they move the caret.
  if (caretLine != line || editor_.LineCount() - 1 != line) {
    return false;
  }
  // A damaged prompt gets no recall: Enter refuses that line anyway.
  if (text.starts_with(prompt)) {
    Recall(qtKey, text, prompt);
  }
  return true;
}

void PromptInput::Recall(int qtKey, const std::string& line, const std::string& prompt) {
  CommandHistory& history = session_.History();
  const std::optional<std::string> entry =
      qtKey == Qt::Key_Up ? history.Older(line.substr(prompt.size())) : history.Newer();
  if (entry) {
    editor_.ReplaceInLine(session_.PromptLine(), prompt.size(), std::string::npos, *entry);
  }
}

void PromptInput::Complete(int line, std::size_t inputStart) {
  const std::size_t caret = editor_.CaretByte();
  if (caret < inputStart) {
    return;
  }
  const std::string text = editor_.LineText(line);
  const std::string before = text.substr(inputStart, caret - inputStart);
  FileCompletion c =
      CompleteWord(before, CurrentDirectory(), session_.Shell().Home(), session_.Completion());
  const std::size_t wordStart = inputStart + c.wordStart;
  const bool repeated = lastTabLine_ == text && lastTabCaret_ == caret;
  // A name holding a line break cannot stand on the input line.
  if (c.replacement != before.substr(c.wordStart) &&
      c.replacement.find_first_of("\r\n") == std::string::npos) {
    editor_.ReplaceInLine(line, wordStart, caret, c.replacement);
  } else if (repeated && !c.candidates.empty()) {
    choices_ = std::move(c.candidates);
    choiceLine_ = line;
    choiceWordStart_ = wordStart;
    std::vector<std::string> names;
    names.reserve(choices_.size());
    for (const CompletionCandidate& candidate : choices_) {
      names.push_back(candidate.name);
    }
    editor_.ShowChoices(names, [this](std::size_t index) {
      const std::string& replacement = choices_[index].replacement;
      if (!replacement.empty() && MayEdit() && !session_.bBusy() &&
          editor_.CurrentLine() == choiceLine_ &&
          replacement.find_first_of("\r\n") == std::string::npos) {
        editor_.ReplaceInLine(choiceLine_, choiceWordStart_, editor_.CaretByte(), replacement);
      }
    });
  }
  lastTabLine_ = editor_.LineText(line);
  lastTabCaret_ = editor_.CaretByte();
}

bool PromptInput::MouseClick(int button, int /*shift*/, int x, int y) {
  const bool right = button == kRightButton;
  if (right && contextMenu_) {
    contextMenu_(x, y);
  }
  RefreshLineState();
  return right;
}

void PromptInput::Paste() {
  if (PrepareTyping()) {
    editor_.PasteClipboard();
  }
  RefreshLineState();
}

bool PromptInput::EnterPressed() {
  // The view follows the output again and Ctrl+C interrupts: a selection does not outlast Enter.
  editor_.ClearSelection();
  if (session_.bBusy()) {
    return true;  // the input typed to the command takes Enter before this (TypedKey)
  }
  const int line = session_.PromptLine();
  if (editor_.CurrentLine() < line) {
    return true;  // Enter on an earlier line does nothing at all
  }
  const std::string text = editor_.LineText(line);
  const std::string prompt = ConsoleSession::Prompt();
  if (!text.starts_with(prompt)) {
    session_.AppendText(std::string(LineEnd()) + "Invalid input");
    session_.ExecuteCommand({});
    return true;
  }
  // Lines pasted below the prompt's line wait their turn; each is written again behind its own
  // prompt when it runs.
  if (editor_.LineCount() - 1 > line) {
    std::vector<std::string> rest = SplitLines(editor_.TextToEnd(line, text.size()));
    editor_.ReplaceToEnd(line, text.size(), "");
    rest.erase(rest.begin());  // the prompt line's own (empty) rest
    session_.Queue(rest);
  }
  session_.ExecuteCommand(text.substr(prompt.size()));
  return true;
}

std::pair<std::size_t, std::size_t> PromptInput::LinkAt(int line, std::size_t byte) {
  return links_->At(line, byte);
}

bool PromptInput::LinkClicked(int line, std::size_t byte) {
  return links_->Click(line, byte);
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
