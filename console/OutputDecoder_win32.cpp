// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <climits>

#include "console/CodePage_win32.h"
#include "console/OutputDecoder.h"
#include "console/Utf8.h"
#include "platform/Utf16_win32.h"

namespace pelorin {

namespace win {

namespace {

constexpr unsigned kUtf8 = 65001;

std::size_t Utf8CompletePrefix(std::string_view bytes) {
  const std::size_t size = bytes.size();
  // A held tail is at most three bytes: a lead byte and up to two continuations.
  for (std::size_t back = 1; back <= 3 && back <= size; ++back) {
    const auto b = static_cast<unsigned char>(bytes[size - back]);
    if (utf8::IsContinuation(b)) {
      continue;
    }
    if (utf8::SequenceLength(b) <= back) {
      return size;  // complete, or not a lead byte at all
    }
    if (back >= 2 && !utf8::FitsAt(b, 1, static_cast<unsigned char>(bytes[size - back + 1]))) {
      return size;  // can never complete: let the conversion mark it now
    }
    return size - back;
  }
  return size;
}

bool IsDoubleByte(unsigned codePage) {
  CPINFO info{};
  return ::GetCPInfo(codePage, &info) && info.MaxCharSize == 2;
}

std::string Convert(unsigned codePage, std::string_view bytes) {
  if (bytes.empty() || bytes.size() > INT_MAX) {
    return std::string();
  }
  const int len = static_cast<int>(bytes.size());
  const int n = ::MultiByteToWideChar(codePage, 0, bytes.data(), len, nullptr, 0);
  if (n <= 0) {
    return utf8::Replacements(bytes.size());  // a code page the system cannot convert
  }
  std::wstring wide(static_cast<std::size_t>(n), L'\0');
  ::MultiByteToWideChar(codePage, 0, bytes.data(), len, wide.data(), n);
  return Narrow(wide);
}

}  // namespace

unsigned InterpreterCodePage() {
  // The interpreter runs on a console of its own (CREATE_NO_WINDOW), never on ours, and a new
  // console starts in the OEM code page: our own console's code page says nothing about it.
  return ::GetOEMCP();
}

namespace {

// Length of the longest prefix made of whole, valid UTF-8 characters.
std::size_t ValidUtf8Prefix(std::string_view bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    const std::size_t need = utf8::SequenceLength(lead);
    if (need == 0 || i + need > bytes.size()) {
      return i;
    }
    for (std::size_t k = 1; k < need; ++k) {
      if (!utf8::FitsAt(lead, k, static_cast<unsigned char>(bytes[i + k]))) {
        return i;
      }
    }
    i += need;
  }
  return i;
}

}  // namespace

std::string Utf8OrCodePageDecoder::Decode(std::string_view bytes) {
  std::string data = std::move(pending_);
  pending_.clear();
  data.append(bytes);
  std::string out;
  std::size_t from = 0;
  while (from < data.size()) {
    const std::size_t lineEnd = data.find('\n', from);
    const bool ends = lineEnd != std::string::npos;
    const std::size_t to = ends ? lineEnd + 1 : data.size();
    out += DecodePart(std::string_view(data).substr(from, to - from), ends);
    from = to;
  }
  return out;
}

std::string Utf8OrCodePageDecoder::DecodePart(std::string_view part, bool lineEnds) {
  std::string out;
  if (!lineInFallback_) {
    const std::size_t valid = ValidUtf8Prefix(part);
    if (valid == part.size()) {
      out.assign(part);
    } else if (!lineEnds && Utf8CompletePrefix(part) == valid) {
      // Valid so far; the sequence at the end may complete with the next read.
      out.assign(part.substr(0, valid));
      pending_.assign(part.substr(valid));
    } else {
      lineInFallback_ = true;
    }
  }
  if (lineInFallback_) {
    out = fallback_.Decode(part);
  }
  if (lineEnds) {
    lineInFallback_ = false;
  }
  return out;
}

std::string Utf8OrCodePageDecoder::Finish() {
  std::string out = fallback_.Decode(pending_);
  pending_.clear();
  lineInFallback_ = false;
  return out + fallback_.Finish();
}

std::size_t CompletePrefix(unsigned codePage, std::string_view bytes) {
  if (codePage == kUtf8) {
    return Utf8CompletePrefix(bytes);
  }
  if (!IsDoubleByte(codePage)) {
    return bytes.size();
  }
  // A trail byte may look like a lead byte, so walk from the start.
  std::size_t i = 0;
  while (i < bytes.size()) {
    if (::IsDBCSLeadByteEx(codePage, static_cast<BYTE>(bytes[i]))) {
      if (i + 1 == bytes.size()) {
        return i;
      }
      i += 2;
    } else {
      ++i;
    }
  }
  return bytes.size();
}

std::string CodePageDecoder::Decode(std::string_view bytes) {
  pending_.append(bytes);
  const std::size_t n = CompletePrefix(codePage_, pending_);
  std::string text = Convert(codePage_, std::string_view(pending_).substr(0, n));
  pending_.erase(0, n);
  return text;
}

std::string CodePageDecoder::Finish() {
  std::string text = utf8::Replacements(pending_.size());
  pending_.clear();
  return text;
}

}  // namespace win

struct OutputDecoder::State {
  win::Utf8OrCodePageDecoder decoder{win::InterpreterCodePage()};
};

OutputDecoder::OutputDecoder() : state_(std::make_unique<State>()) {}
OutputDecoder::~OutputDecoder() = default;

std::string OutputDecoder::Decode(std::string_view bytes) {
  return state_->decoder.Decode(bytes);
}

std::string OutputDecoder::Finish() {
  return state_->decoder.Finish();
}

}  // namespace pelorin
