// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns what a running command writes to its two streams into edits of the surface's tail, tick
// by tick, the way a terminal would show it on a log that only grows:
// - Every line that holds standard-error text begins with "STDERR: " (an empty one too), and
//   the two streams never share a line: when one stream's text arrives while the other's line
//   is unfinished, a new line begins, and the interrupted stream goes on on a line of its own
//   (a line end it writes next only closes what is already closed, so it adds no empty line).
//   The streams' text comes in the order it arrived.
// - LF and CR LF end a line; every line end written is the program's own (LineEnd()).
// - A CR not followed by LF returns to the start of the current line (after the label of an
//   error line): the next text of that stream replaces the line, all the surface lines it was
//   drawn on (see soft breaks below). The line is not blanked until
//   that text comes, so the last state of a progress line stays. Replacing rather than
//   overwriting character by character is deliberate: progress output redraws whole lines, and
//   the erase-to-end-of-line that tools send after shorter text is removed here, so overwriting
//   would leave the tail of the longer line behind. A CR at the end of a tick waits for the next
//   tick to know whether LF follows.
// - Colour sequences colour the text after them; every other escape or control sequence is
//   removed (EscapeFilter). Each stream keeps its own colours and its own unfinished sequence.
// - A surface line never grows past longestLine bytes: the surface lays out a whole line to
//   draw any part of it, at a cost that grows with the line (about a third of a second per MB),
//   so a longer line goes on on the next surface line after a soft break (OutputEdits). The
//   continuation is the same line of output: it carries no label, and copying joins it again.
// Nothing here keeps the history: a tick costs in proportion to its own text.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandLine.h"
#include "console/EscapeFilter.h"
#include "console/OutputEdits.h"
#include "console/StreamText.h"
#include "console/TextStyle.h"
#include "platform/LineEnd.h"

namespace pelorin {

class OutputComposer {
 public:
  static constexpr std::string_view kErrLabel = "STDERR: ";
  static constexpr std::size_t kLongestLine = 16384;  // bytes of one surface line

  // longestSequence: the most bytes an escape or control sequence may hold (EscapeFilter).
  explicit OutputComposer(std::string lineEnd = LineEnd(), std::size_t longestLine = kLongestLine,
                          std::size_t longestSequence = EscapeFilter::kLongestString);
  OutputComposer(const OutputComposer&) = delete;
  OutputComposer& operator=(const OutputComposer&) = delete;

  // A command starts, right after the line end that follows the typed command: the surface's
  // last line is empty, and nothing of an earlier run is held.
  void Restart();

  // One tick's text (UTF-8, complete characters), in the order it arrived.
  OutputEdits Feed(const TickOutput& tick);
  // The last tick's text; then what nothing can complete any more is settled: an unfinished
  // sequence is dropped, a final CR leaves its line as it stands.
  OutputEdits Finish(const TickOutput& tick);
  // The same for a tick that holds standard output, then standard error.
  OutputEdits Feed(std::string_view out, std::string_view err);
  OutputEdits Finish(std::string_view out, std::string_view err);

  // The user ended the surface's last line (a line typed to the command, shown as typed): the
  // output goes on on a line of its own.
  void LineEndedByInput();
  // A line of the console's own among the output, after the output's unfinished line if any.
  OutputEdits Notice(std::string_view text);

  // Whether the surface's last line is empty as far as this output goes: a prompt may follow
  // directly. False after output without a final line end (the prompt then needs one first).
  bool AtLineStart() const { return owner_ == Owner::None; }

 private:
  enum class Owner { None, Out, Err };

  // One stream's side: its filter and what its line is waiting for.
  struct StreamSide final : EscapeFilter::Sink {
    StreamSide(OutputComposer& owner, Owner stream) : composer(owner), who(stream) {}
    void Text(std::string_view text, const TextStyle& style) override;
    void LineFeed() override;
    void CarriageReturn() override;
    void SettleCarriageReturn();

    OutputComposer& composer;
    Owner who;
    EscapeFilter filter;
    bool crPending = false;      // a CR came last: LF may follow
    bool returnPending = false;  // the next text replaces this stream's line
    bool interrupted = false;    // the other stream took over while this line was unfinished
  };

  void Take(StreamSide& side, std::string_view text);
  void TakeOver(StreamSide& side);
  void ClearLine();
  void Append(std::string_view text, const TextStyle& style);
  void AppendRaw(std::string_view text, const TextStyle& style);
  void EndLine();
  void SoftBreak();
  void StartLine(Owner who);
  // The label only begins a line of output, not a surface line that continues one.
  std::size_t LabelBytes() const {
    return owner_ == Owner::Err && !continued_ ? kErrLabel.size() : 0;
  }
  StreamSide& Side(Owner who) { return who == Owner::Out ? out_ : err_; }

  std::string lineEnd_;
  std::size_t longestLine_;
  std::size_t longestSequence_;
  StreamSide out_{*this, Owner::Out};
  StreamSide err_{*this, Owner::Err};
  Owner owner_ = Owner::None;  // whose text the last line holds; None: the line is empty
  bool continued_ = false;     // the last line continues a longer one after a soft break
  std::size_t breaks_ = 0;     // soft breaks in the line so far, this tick's included
  std::size_t lineBytes_ = 0;  // bytes on the last line, label included
  OutputEdits* edits_ = nullptr;
  // Where the line's text (after its label, in its first piece) starts in edits_->text; npos
  // when the line began in an earlier tick.
  std::size_t lineStart_ = std::string::npos;
};

}  // namespace pelorin
