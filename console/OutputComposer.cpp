// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/OutputComposer.h"

#include <algorithm>
#include <utility>

#include "console/Utf8.h"

namespace pelorin {

OutputComposer::OutputComposer(std::string lineEnd, std::size_t longestLine,
                               std::size_t longestSequence)
    : lineEnd_(std::move(lineEnd)), longestLine_(longestLine), longestSequence_(longestSequence) {
  Restart();
}

void OutputComposer::Restart() {
  for (StreamSide* side : {&out_, &err_}) {
    side->filter = EscapeFilter(longestSequence_);
    side->crPending = side->returnPending = side->interrupted = false;
  }
  owner_ = Owner::None;
  continued_ = false;
  breaks_ = 0;
  lineBytes_ = 0;
}

OutputEdits OutputComposer::Feed(const TickOutput& tick) {
  OutputEdits edits;
  edits_ = &edits;
  lineStart_ = std::string::npos;
  for (const TextChunk& chunk : tick.chunks) {
    StreamSide& side = chunk.stream == Stream::Out ? out_ : err_;
    side.filter.Feed(chunk.text, side);
  }
  edits_ = nullptr;
  return edits;
}

OutputEdits OutputComposer::Feed(std::string_view out, std::string_view err) {
  TickOutput tick;
  tick.Add(Stream::Out, std::string(out));
  tick.Add(Stream::Err, std::string(err));
  return Feed(tick);
}

OutputEdits OutputComposer::Finish(std::string_view out, std::string_view err) {
  TickOutput tick;
  tick.Add(Stream::Out, std::string(out));
  tick.Add(Stream::Err, std::string(err));
  return Finish(tick);
}

void OutputComposer::LineEndedByInput() {
  for (StreamSide* side : {&out_, &err_}) {
    side->crPending = side->returnPending = side->interrupted = false;
  }
  owner_ = Owner::None;
  continued_ = false;
  breaks_ = 0;
  lineBytes_ = 0;
}

OutputEdits OutputComposer::Notice(std::string_view text) {
  OutputEdits edits;
  edits_ = &edits;
  lineStart_ = std::string::npos;
  if (owner_ != Owner::None) {
    Side(owner_).interrupted = true;
    Side(owner_).returnPending = false;
    EndLine();
  }
  AppendRaw(text, TextStyle{});
  EndLine();
  edits_ = nullptr;
  return edits;
}

OutputEdits OutputComposer::Finish(const TickOutput& tick) {
  OutputEdits edits = Feed(tick);
  edits_ = &edits;
  for (StreamSide* side : {&out_, &err_}) {
    side->filter.Finish(*side);
    side->crPending = side->returnPending = side->interrupted = false;
  }
  edits_ = nullptr;
  return edits;
}

void OutputComposer::StreamSide::Text(std::string_view text, const TextStyle& style) {
  SettleCarriageReturn();
  composer.TakeOver(*this);
  if (returnPending) {
    returnPending = false;
    composer.ClearLine();
  }
  interrupted = false;
  composer.Append(text, style);
}

void OutputComposer::StreamSide::LineFeed() {
  crPending = false;  // CR LF is one line end
  returnPending = false;
  if (interrupted) {
    interrupted = false;  // the other stream already ended this line
    return;
  }
  composer.TakeOver(*this);
  composer.EndLine();
}

void OutputComposer::StreamSide::CarriageReturn() {
  SettleCarriageReturn();
  crPending = true;
}

// A CR that turned out not to be followed by LF: back to the start of this stream's line, if
// the last line is its own and holds text.
void OutputComposer::StreamSide::SettleCarriageReturn() {
  if (!crPending) {
    return;
  }
  crPending = false;
  if (!interrupted && composer.owner_ == who && composer.lineBytes_ > composer.LabelBytes()) {
    returnPending = true;
  }
}

// Makes the last line this stream's: a line the other stream left unfinished is ended first.
void OutputComposer::TakeOver(StreamSide& side) {
  if (owner_ != Owner::None && owner_ != side.who) {
    StreamSide& other = Side(owner_);
    other.interrupted = true;
    other.returnPending = false;
    EndLine();
  }
  if (owner_ == Owner::None) {
    StartLine(side.who);
  }
}

void OutputComposer::StartLine(Owner who) {
  owner_ = who;
  if (who == Owner::Err) {
    AppendRaw(kErrLabel, TextStyle{});
  }
  lineStart_ = edits_->text.size();
}

void OutputComposer::EndLine() {
  AppendRaw(lineEnd_, TextStyle{});
  owner_ = Owner::None;
  continued_ = false;
  breaks_ = 0;
  lineBytes_ = 0;
}

// The line goes on on the next surface line: the line end is the surface's, not the program's.
void OutputComposer::SoftBreak() {
  edits_->softBreaks.push_back(edits_->text.size());
  AppendRaw(lineEnd_, TextStyle{});
  continued_ = true;
  ++breaks_;
  lineBytes_ = 0;
}

// The line keeps its label only, on its first piece. What this tick already put on it is taken
// back; a line from an earlier tick is rewritten on the surface, from its first piece.
void OutputComposer::ClearLine() {
  std::string& text = edits_->text;
  std::vector<StyledRun>& runs = edits_->runs;
  std::vector<std::size_t>& softBreaks = edits_->softBreaks;
  continued_ = false;
  if (lineStart_ == std::string::npos) {
    // Every soft break of this tick is the line's own: the others are on the surface already.
    edits_->rewriteLine = true;
    edits_->keepBytes = LabelBytes();
    edits_->linesBack = breaks_ - softBreaks.size();
    lineStart_ = 0;
  }
  breaks_ = 0;
  text.resize(lineStart_);
  while (!softBreaks.empty() && softBreaks.back() >= lineStart_) {
    softBreaks.pop_back();
  }
  while (!runs.empty() && runs.back().begin >= lineStart_) {
    runs.pop_back();
  }
  if (!runs.empty() && runs.back().begin + runs.back().length > lineStart_) {
    runs.back().length = lineStart_ - runs.back().begin;
  }
  lineBytes_ = LabelBytes();
}

// Puts text on the last line, going on on the next surface line where it would grow past the
// longest line; never inside a character.
void OutputComposer::Append(std::string_view text, const TextStyle& style) {
  while (!text.empty()) {
    std::size_t take = std::min(text.size(), longestLine_ - std::min(lineBytes_, longestLine_));
    while (take > 0 && take < text.size() &&
           utf8::IsContinuation(static_cast<unsigned char>(text[take]))) {
      --take;
    }
    if (take == 0) {
      if (lineBytes_ > LabelBytes()) {
        SoftBreak();
        continue;
      }
      // A line too short for one character gets it anyway.
      for (take = 1;
           take < text.size() && utf8::IsContinuation(static_cast<unsigned char>(text[take]));
           ++take) {
      }
    }
    AppendRaw(text.substr(0, take), style);
    text.remove_prefix(take);
  }
}

void OutputComposer::AppendRaw(std::string_view text, const TextStyle& style) {
  std::string& out = edits_->text;
  if (!style.IsDefault()) {
    std::vector<StyledRun>& runs = edits_->runs;
    if (!runs.empty() && runs.back().style == style &&
        runs.back().begin + runs.back().length == out.size()) {
      runs.back().length += text.size();
    } else {
      runs.push_back({out.size(), text.size(), style});
    }
  }
  out.append(text);
  lineBytes_ += text.size();
}

}  // namespace pelorin
