// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ConsoleLinks.h"

#include <QCursor>
#include <QDesktopServices>
#include <QToolTip>
#include <QUrl>
#include <filesystem>
#include <system_error>

#include "console/CommandLine.h"
#include "console/ConsoleSession.h"
#include "console/PathText.h"
#include "editor/ConsoleEditor.h"
#include "platform/Directory.h"

namespace pelorin {

namespace fs = std::filesystem;

ConsoleLinks::ConsoleLinks(ConsoleEditor& editor, ConsoleSession& session)
    : editor_(editor), session_(session) {}

std::string ConsoleLinks::Resolve(const std::string& path) const {
  std::string whole = path;
  const std::string home = session_.Shell().Home();
  if (!home.empty() && (whole == "~" || whole.starts_with("~/"))) {
    whole.replace(0, 1, home);
  }
  return Utf8Of(PathOf(CurrentDirectory()) / PathOf(whole));
}

std::optional<LinkSpan> ConsoleLinks::Find(int line, std::size_t byte) {
  const std::string text = editor_.LineText(line);
  // The same word asks the disk once while the pointer stays on it, a word that is no link too
  // (with Ctrl held the key repeats, and every repeat asks again).
  if (line == lastLine_ && text == lastText_ &&
      (last_ ? byte >= last_->begin && byte < last_->end : byte == lastByte_)) {
    return last_;
  }
  lastLine_ = line;
  lastText_ = text;
  lastByte_ = byte;
  last_ = FindLink(text, byte, [this](const std::string& path) {
    std::error_code ec;
    return fs::exists(PathOf(Resolve(path)), ec);
  });
  return last_;
}

std::pair<std::size_t, std::size_t> ConsoleLinks::At(int line, std::size_t byte) {
  const std::optional<LinkSpan> link = Find(line, byte);
  if (!link || !link->present) {
    return {0, 0};
  }
  return {link->begin, link->end};
}

bool ConsoleLinks::Click(int line, std::size_t byte) {
  lastLine_ = -1;  // the disk may have changed since the pointer came
  const std::optional<LinkSpan> link = Find(line, byte);
  if (!link) {
    return false;
  }
  if (link->url) {
    QDesktopServices::openUrl(QUrl(QString::fromStdString(link->target)));
    return true;
  }
  const std::string path = Resolve(link->target);
  std::error_code ec;
  if (!link->present || !fs::exists(PathOf(path), ec)) {
    const std::string said = ShownPath(link->target) + ": Path not found";
    if (!session_.Tell(said)) {
      QToolTip::showText(QCursor::pos(), QString::fromStdString(said));
    }
    return true;
  }
  if (fs::is_directory(PathOf(path), ec)) {
    session_.EnterFolder(path);  // while a command runs, nothing: as the tree
  } else {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(path)));
  }
  return true;
}

}  // namespace pelorin
