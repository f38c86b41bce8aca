// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Turns the raw bytes of one output stream into UTF-8 text, one read at a time.
// A character whose bytes are split across two reads is delivered whole with the second read:
// incomplete trailing bytes wait inside the decoder. Bytes that can never form a character
// (invalid input) are each shown as U+FFFD, so nothing is silently dropped.
// POSIX decodes UTF-8 (the locale's encoding); Windows decodes UTF-8 (the command's console is
// made UTF-8), and a line that is not valid UTF-8 in the OEM code page.

#include <memory>
#include <string>
#include <string_view>

namespace pelorin {

class OutputDecoder {
 public:
  OutputDecoder();
  ~OutputDecoder();
  OutputDecoder(const OutputDecoder&) = delete;
  OutputDecoder& operator=(const OutputDecoder&) = delete;

  // Decodes one read; returns only complete characters.
  std::string Decode(std::string_view bytes);
  // At the end of the stream: whatever is still held, as replacement characters.
  std::string Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelorin
