// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandRunner.h"

#include <algorithm>
#include <utility>

namespace pelorin {

namespace {

void AppendText(std::string& text, std::string&& more) {
  if (text.empty()) {
    text = std::move(more);
  } else {
    text += more;
  }
}

}  // namespace

CommandRunner::CommandRunner() : CommandRunner(StartChildProcess, StartDetached) {}

CommandRunner::CommandRunner(ChildStarter startChild, DetachedStarter startDetached)
    : startChild_(std::move(startChild)), startDetached_(std::move(startDetached)) {
  raw_.reserve(kPipeBytes);
}

CommandRunner::~CommandRunner() = default;

SysError CommandRunner::Start(const InterpreterCommand& command) {
  stopWait_ = false;
  child_.reset();
  std::unique_ptr<ChildProcess> child;
  if (const SysError rc = startChild_(command, child)) {
    return rc;
  }
  child_ = std::move(child);
  // A fresh decoder per stream and run: bytes held from an earlier run belong to no one now.
  outDecoder_ = std::make_unique<OutputDecoder>();
  errDecoder_ = std::make_unique<OutputDecoder>();
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

bool CommandRunner::ReadCounted(Stream stream, std::size_t count, OutputDecoder& decoder,
                                std::string& text) {
  raw_.clear();
  while (count > 0) {
    const std::size_t chunk = std::min(count, kPipeBytes);
    count -= chunk;
    child_->Read(stream, chunk, raw_);  // a failed chunk is skipped
  }
  if (raw_.empty()) {
    return false;
  }
  AppendText(text, decoder.Decode(raw_));
  return true;
}

void CommandRunner::Finish(TickResult& result) {
  result.kind = TickResult::Complete;
  AppendText(result.stdOut, outDecoder_->Finish());
  AppendText(result.stdErr, errDecoder_->Finish());
  // A program the command left behind may still write: it must not die of that.
  child_->ReleaseReadEnds();
  child_.reset();
}

CommandRunner::TickResult CommandRunner::Tick() {
  TickResult result;
  if (!child_) {
    result.kind = TickResult::Complete;
    return result;
  }
  // Decided before reading, so that what the command wrote just before its end is still
  // collected below.
  const bool ended = child_->HasEnded();

  bool outRead = false;
  if (const std::size_t n = child_->Available(Stream::Out)) {
    outRead = ReadCounted(Stream::Out, n, *outDecoder_, result.stdOut);
  }
  if (const std::size_t n = child_->Available(Stream::Err)) {
    ReadCounted(Stream::Err, n, *errDecoder_, result.stdErr);
    if (!outRead) {
      if (const std::size_t again = child_->Available(Stream::Out)) {
        ReadCounted(Stream::Out, again, *outDecoder_, result.stdOut);
      }
    }
  }

  if (ended) {
    std::string restOut;
    std::string restErr;
    child_->Drain(kDrainLimit, kDrainBytes, restOut, restErr);
    AppendText(result.stdErr, errDecoder_->Decode(restErr));
    AppendText(result.stdOut, outDecoder_->Decode(restOut));
    result.exit = child_->Status();
    Finish(result);
  } else if (stopWait_) {
    // The command runs on; whatever it writes from now on is thrown away.
    Finish(result);
  }
  return result;
}

}  // namespace pelorin
