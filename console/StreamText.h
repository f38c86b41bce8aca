// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a running command writes, as the console passes it on: text of its two streams in the
// order it arrived.

#include <string>
#include <vector>

namespace pelorin {

enum class Stream { Out, Err };

// Text of one stream (UTF-8, complete characters).
struct TextChunk {
  Stream stream = Stream::Out;
  std::string text;
  friend bool operator==(const TextChunk&, const TextChunk&) = default;
};

// One tick of a running command: what it wrote since the last tick, in arrival order.
struct TickOutput {
  std::vector<TextChunk> chunks;
  // Input given to the command could not be given: nothing reads it any more. Set once a run.
  bool inputRefused = false;

  // All of one stream's text of the tick.
  std::string Text(Stream stream) const {
    std::string text;
    for (const TextChunk& chunk : chunks) {
      if (chunk.stream == stream) {
        text += chunk.text;
      }
    }
    return text;
  }
  // Adds text at the end, to the last chunk when it is of the same stream.
  void Add(Stream stream, std::string text) {
    if (text.empty()) {
      return;
    }
    if (!chunks.empty() && chunks.back().stream == stream) {
      chunks.back().text += text;
    } else {
      chunks.push_back({stream, std::move(text)});
    }
  }
};

}  // namespace pelorin
