// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandRunner.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "console/CommandQueue.h"

namespace pelorin {

CommandRunner::CommandRunner() : CommandRunner(StartChildProcess, StartDetached) {}

CommandRunner::CommandRunner(ChildStarter startChild, DetachedStarter startDetached)
    : startChild_(std::move(startChild)), startDetached_(std::move(startDetached)) {}

CommandRunner::~CommandRunner() {
  pump_.reset();  // the reader stops before the child it reads goes
}

SysError CommandRunner::Start(const InterpreterCommand& command) {
  stopWait_ = false;
  draining_ = false;
  pump_.reset();
  child_.reset();
  std::unique_ptr<ChildProcess> child;
  InterpreterCommand sized = command;
  sized.columns = columns_;
  sized.rows = rows_;
  if (const SysError rc = startChild_(sized, child)) {
    return rc;
  }
  try {
    pump_ = std::make_unique<OutputPump>(*child);
  } catch (const std::system_error& e) {
    // No reader to be had: the command runs on unread, as after a stop.
    child->ReleaseReadEnds();
    return static_cast<SysError>(e.code().value());
  }
  child_ = std::move(child);
  // A fresh decoder per stream and run: bytes held from an earlier run belong to no one now.
  for (auto& decoder : decoders_) {
    decoder = std::make_unique<OutputDecoder>();
  }
  overstrike_[0] = overstrike_[1] = Overstrike();
  echo_ = EchoFilter();
  input_.clear();
  inputGiven_ = 0;
  endInput_ = false;
  inputRoom_ = kPipeBytes;
  inputRefused_ = refusalTold_ = false;
  unread_.clear();
  return 0;
}

SysError CommandRunner::StartWithoutWait(const InterpreterCommand& command) {
  stopWait_ = false;
  return startDetached_(command);
}

void CommandRunner::StopWait() {
  stopWait_ = true;
}

void CommandRunner::Interrupt() {
  if (child_) {
    child_->Interrupt();
  }
}

bool CommandRunner::SendInput(const std::string& line) {
  if (!child_ || draining_ || endInput_) {
    unread_ += line;
    return false;
  }
  input_.push_back(line);
  GiveInput();
  return true;
}

// The terminal echoes a line as it is given (or the command does, reading key by key): that copy
// is taken out of the output, since the surface shows the line as it was typed.
void CommandRunner::ExpectEcho(const std::string& line) {
  const TerminalState terminal = child_->Terminal();
  if (terminal.present && (terminal.echo || !terminal.lines)) {
    std::string shown = line;
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) {
      shown.pop_back();
    }
    echo_.Expect(std::move(shown));
  }
}

void CommandRunner::EndInput() {
  if (child_ && !draining_) {
    endInput_ = true;
    GiveInput();
  }
}

TerminalState CommandRunner::Terminal() {
  return child_ && !draining_ ? child_->Terminal() : TerminalState{};
}

void CommandRunner::SetTerminalSize(int columns, int rows) {
  if (columns == columns_ && rows == rows_) {
    return;
  }
  columns_ = columns;
  rows_ = rows;
  if (child_ && !draining_) {
    child_->SetTerminalSize(columns, rows);
  }
}

std::vector<std::string> CommandRunner::TakeUnreadInput() {
  return SplitLines(std::exchange(unread_, std::string()));
}

// Gives what waits, as much as the input takes without waiting and the tick's room allows; the
// rest waits for the next tick. The end of input follows the last byte.
void CommandRunner::GiveInput() {
  while (!input_.empty() && inputRoom_ > 0 && !inputRefused_) {
    const std::string& line = input_.front();
    if (inputGiven_ == 0) {
      ExpectEcho(line);
    }
    const std::size_t count = std::min(line.size() - inputGiven_, inputRoom_);
    const InputWritten w = child_->WriteInput(std::string_view(line).substr(inputGiven_, count));
    if (w.refused) {
      inputRefused_ = true;
      break;
    }
    if (w.bytes == 0) {
      return;  // full: the command has not taken what it was given yet
    }
    inputGiven_ += w.bytes;
    inputRoom_ -= std::min(inputRoom_, w.bytes);
    if (inputGiven_ == line.size()) {
      input_.pop_front();
      inputGiven_ = 0;
    }
  }
  if (inputRefused_) {
    unread_ += NotGiven();
    endInput_ = false;
    return;
  }
  if (input_.empty() && endInput_ && child_->EndInput()) {
    endInput_ = false;
  }
}

std::string CommandRunner::NotGiven() {
  std::string rest;
  std::size_t from = inputGiven_;  // the first line may have been given in part
  for (const std::string& line : input_) {
    rest.append(line, std::exchange(from, 0), std::string::npos);
  }
  input_.clear();
  inputGiven_ = 0;
  return rest;
}

void CommandRunner::Decode(std::vector<OutputChunk>& chunks, TickOutput& output) {
  const auto quiet = [&chunks](Stream stream) {
    return std::none_of(chunks.begin(), chunks.end(),
                        [stream](const OutputChunk& c) { return c.stream == stream; });
  };
  // What a quiet stream still holds goes first: it was written before this tick's text. That
  // is an echo held for a tick, or a character kept back for overstrike.
  if (quiet(Stream::Out)) {
    output.Add(Stream::Out, echo_.Filter(overstrike_[0].Quiet()));
  }
  if (quiet(Stream::Err)) {
    output.Add(Stream::Err, overstrike_[1].Quiet());
  }
  for (OutputChunk& chunk : chunks) {
    const int i = chunk.stream == Stream::Out ? 0 : 1;
    std::string text = overstrike_[i].Filter(decoders_[i]->Decode(chunk.bytes));
    // A read that ended inside a character decodes to nothing yet; an echo held stays held.
    if (chunk.stream == Stream::Out && !text.empty()) {
      text = echo_.Filter(text);
    }
    output.Add(chunk.stream, std::move(text));
  }
  echo_.Tick();
}

void CommandRunner::Finish(TickResult& result, bool ended) {
  result.kind = TickResult::Complete;
  for (int i = 0; i < 2; ++i) {
    const Stream stream = i == 0 ? Stream::Out : Stream::Err;
    std::string rest = overstrike_[i].Filter(decoders_[i]->Finish()) + overstrike_[i].Flush();
    if (stream == Stream::Out) {
      rest = echo_.Filter(rest) + echo_.Flush();
    }
    result.output.Add(stream, std::move(rest));
  }
  pump_->Stop();
  // What the command never read waits in its terminal; what never reached it, here.
  std::string unread = ended ? child_->TakeUnreadInput() : std::string();
  unread_ = unread + unread_ + NotGiven();
  // A program the command left behind may still write: it must not die of that.
  child_->ReleaseReadEnds();
  pump_.reset();
  child_.reset();
}

CommandRunner::TickResult CommandRunner::Tick() {
  TickResult result;
  if (!child_) {
    result.kind = TickResult::Complete;
    return result;
  }
  // Decided before taking the output, so that what the command wrote just before its end is
  // still read by the last reads.
  if (!draining_ && child_->HasEnded()) {
    draining_ = true;
    pump_->Drain(kDrainLimit, kDrainBytes);
    pump_->WaitDrained(kQuickEnd);
  }
  // Once the drain is over nothing more is read: this tick takes all there is.
  const bool drained = draining_ && pump_->WaitDrained(std::chrono::milliseconds(0));
  std::vector<OutputChunk> chunks = pump_->Take();
  Decode(chunks, result.output);
  if (!draining_) {
    inputRoom_ = kPipeBytes;
    GiveInput();
  }
  if (inputRefused_ && !refusalTold_) {
    refusalTold_ = true;
    result.output.inputRefused = true;
  }
  if (drained) {
    result.exit = child_->Status();
  }
  if (drained || stopWait_) {
    // After a stop the command runs on; whatever it writes from now on is thrown away.
    Finish(result, drained);
  }
  return result;
}

}  // namespace pelorin
