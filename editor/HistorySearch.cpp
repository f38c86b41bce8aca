// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/HistorySearch.h"

#include <QKeyEvent>

#include "console/CommandHistory.h"
#include "console/Utf8.h"
#include "editor/ConsoleEditor.h"

namespace pelorin {

namespace {

constexpr std::size_t kMostShown = 200;  // the list shows the newest ones only

}  // namespace

HistorySearch::HistorySearch(ConsoleEditor& editor, CommandHistory& history)
    : editor_(editor), history_(history) {}

bool HistorySearch::Active() const {
  return active_ && editor_.ChoicesShown();
}

void HistorySearch::Start(int line, std::size_t inputStart) {
  line_ = line;
  inputStart_ = inputStart;
  active_ = true;
  Show();
}

void HistorySearch::Show() {
  const std::string text = editor_.LineText(line_);
  const std::string typed = text.substr(std::min(inputStart_, text.size()));
  found_ = history_.Holding(typed);
  if (found_.size() > kMostShown) {
    found_.resize(kMostShown);
  }
  std::vector<std::string> shown = found_;
  if (shown.empty()) {
    shown.push_back("(no earlier command holds \"" + typed + "\")");
  }
  editor_.ShowChoices(shown, [this](std::size_t index) {
    active_ = false;
    if (index < found_.size() && !editor_.ReadOnly()) {
      editor_.ReplaceInLine(line_, inputStart_, std::string::npos, found_[index]);
    }
  });
}

bool HistorySearch::Key(const QKeyEvent& key) {
  if (!Active()) {
    active_ = false;
    return false;
  }
  const Qt::KeyboardModifiers chords = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
  const std::string text = editor_.LineText(line_);
  if (key.key() == Qt::Key_Backspace && !(key.modifiers() & chords)) {
    if (text.size() > inputStart_) {
      // Whole characters: back over UTF-8 continuation bytes.
      std::size_t cut = text.size() - 1;
      while (cut > inputStart_ && utf8::IsContinuation(static_cast<unsigned char>(text[cut]))) {
        --cut;
      }
      editor_.ReplaceInLine(line_, cut, std::string::npos, "");
    }
    Show();
    return true;
  }
  const QString typed = key.text();
  if ((key.modifiers() & chords) || typed.isEmpty() || !typed.at(0).isPrint()) {
    return false;
  }
  editor_.ReplaceInLine(line_, text.size(), std::string::npos, typed.toStdString());
  Show();
  return true;
}

}  // namespace pelorin
