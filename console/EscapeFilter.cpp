// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/EscapeFilter.h"

#include <algorithm>
#include <array>

#include "console/Utf8.h"

namespace pelorin {

namespace {

constexpr unsigned char kEsc = 0x1B;
constexpr unsigned char kCan = 0x18;
constexpr unsigned char kSub = 0x1A;
constexpr unsigned char kDel = 0x7F;
constexpr unsigned char kC1Lead = 0xC2;  // U+0080 to U+009F are C2 80 to C2 9F in UTF-8
constexpr std::size_t kLongestParams = 64;

// What ends a run of text, and what ends a run inside a string.
constexpr std::string_view kGroundStops("\x1b\r\n\a\xc2", 5);
constexpr std::string_view kStringStops("\a\x1b\x18\x1a\xc2", 5);

// Tango, the palette of GNOME's terminal: readable on a light background.
constexpr std::array<std::uint32_t, 16> kBasic = {
    0x2E3436, 0xCC0000, 0x4E9A06, 0xC4A000, 0x3465A4, 0x75507B, 0x06989A, 0xD3D7CF,
    0x555753, 0xEF2929, 0x8AE234, 0xFCE94F, 0x729FCF, 0xAD7FA8, 0x34E2E2, 0xEEEEEC,
};

// One parameter of a colour sequence; sub marks one that followed a colon.
struct Param {
  unsigned value = 0;
  bool sub = false;
};

constexpr std::size_t kMostParams = 32;

std::uint32_t Rgb(unsigned r, unsigned g, unsigned b) {
  return (r << 16) | (g << 8) | b;
}

// The colour of 38/48/58 from the parameters after it; used says how many it took. Both
// forms: 5;n and 2;r;g;b with semicolons, 5:n, 2:r:g:b and 2:space:r:g:b with colons.
bool ExtendedColour(const Param* p, std::size_t count, bool colons, std::uint32_t& colour,
                    std::size_t& used) {
  used = colons ? count : 0;
  if (count >= 2 && p[0].value == 5 && p[1].value <= 255) {
    colour = PaletteColour(p[1].value);
    used = colons ? count : 2;
    return true;
  }
  if (count >= 4 && p[0].value == 2) {
    const std::size_t first = colons && count >= 5 ? 2 : 1;
    const unsigned r = p[first].value, g = p[first + 1].value, b = p[first + 2].value;
    used = colons ? count : 4;
    if (r > 255 || g > 255 || b > 255) {
      return false;
    }
    colour = Rgb(r, g, b);
    return true;
  }
  return false;
}

}  // namespace

std::uint32_t PaletteColour(unsigned index) {
  if (index < 16) {
    return kBasic[index];
  }
  if (index < 232) {
    static constexpr unsigned kLevels[] = {0, 95, 135, 175, 215, 255};
    const unsigned i = index - 16;
    return Rgb(kLevels[i / 36], kLevels[i / 6 % 6], kLevels[i % 6]);
  }
  const unsigned grey = 8 + 10 * (std::min(index, 255u) - 232);
  return Rgb(grey, grey, grey);
}

void EscapeFilter::Emit(std::string_view text, Sink& sink) {
  if (!text.empty()) {
    sink.Text(text, style_);
  }
}

void EscapeFilter::StartEscape() {
  state_ = State::Escape;
  held_ = 0;
}

void EscapeFilter::StartCsi() {
  state_ = State::Csi;
  held_ = 0;
  params_.clear();
  csiUsable_ = true;
}

void EscapeFilter::StartString() {
  state_ = State::String;
  held_ = 0;
}

bool EscapeFilter::Holds() {
  if (held_ == longest_) {
    state_ = State::Ground;
    return false;
  }
  ++held_;
  return true;
}

bool EscapeFilter::C1(unsigned char second) {
  if (second < 0x80 || second > 0x9F) {
    return false;
  }
  switch (second) {
    case 0x9B:  // CSI
      StartCsi();
      break;
    case 0x90:  // DCS
    case 0x98:  // SOS
    case 0x9D:  // OSC
    case 0x9E:  // PM
    case 0x9F:  // APC
      StartString();
      break;
    default:  // every other C1 control is dropped
      break;
  }
  return true;
}

std::size_t EscapeFilter::GroundC2(std::string_view text, std::size_t next, Sink& sink) {
  const auto second = static_cast<unsigned char>(text[next]);
  if (C1(second)) {
    return next + 1;
  }
  if (utf8::IsContinuation(second)) {
    const char character[] = {'\xC2', text[next]};  // whole, so a line break cannot split it
    Emit(std::string_view(character, 2), sink);
    return next + 1;
  }
  Emit("\xC2", sink);
  return next;
}

std::size_t EscapeFilter::StringC2(unsigned char second) {
  if (second == 0x9C) {  // ST
    state_ = State::Ground;
    return 2;
  }
  // A character of U+0080 to U+00BF is two bytes of the string; a C2 before anything else, one.
  const std::size_t size = utf8::IsContinuation(second) ? 2 : 1;
  if (longest_ - held_ < size) {
    state_ = State::Ground;
    return 0;
  }
  held_ += size;
  return size;
}

void EscapeFilter::Feed(std::string_view text, Sink& sink) {
  std::size_t i = 0;
  if (heldC2_ && !text.empty()) {
    // The call before ended on C2: inside a string it may end it or be part of it; otherwise
    // (or once a string ended before it) it is read as text with this byte.
    heldC2_ = false;
    bool c2IsText = state_ == State::Ground;
    if (state_ == State::String) {
      const std::size_t read = StringC2(static_cast<unsigned char>(text[0]));
      c2IsText = read == 0;
      i = read == 0 ? 0 : read - 1;  // the C2 itself came in the call before
    }
    if (c2IsText) {
      i = GroundC2(text, 0, sink);
    }
  }
  while (i < text.size()) {
    if (state_ != State::Ground) {
      i = Step(text, i);
      continue;
    }
    const std::size_t stop = std::min(text.find_first_of(kGroundStops, i), text.size());
    Emit(text.substr(i, stop - i), sink);
    i = stop;
    if (i == text.size()) {
      break;
    }
    const auto c = static_cast<unsigned char>(text[i]);
    ++i;
    if (c == '\n') {
      sink.LineFeed();
    } else if (c == '\r') {
      sink.CarriageReturn();
    } else if (c == kEsc) {
      StartEscape();
    } else if (c == kC1Lead) {
      if (i == text.size()) {
        heldC2_ = true;  // the next call tells whether a C1 control follows
      } else {
        i = GroundC2(text, i, sink);
      }
    }
    // BEL: dropped
  }
}

std::size_t EscapeFilter::Step(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c == kCan || c == kSub) {  // cancel whatever is being read
    state_ = State::Ground;
    return i + 1;
  }
  switch (state_) {
    case State::Escape:
    case State::EscapeIntermediate:
      if (c == kEsc) {
        StartEscape();
      } else if (c == kDel || (c >= 0x20 && c <= 0x2F)) {
        if (!Holds()) {
          return i;
        }
        if (c != kDel) {
          state_ = State::EscapeIntermediate;
        }
      } else if (state_ == State::Escape && c == '[') {
        StartCsi();
      } else if (state_ == State::Escape &&
                 (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_')) {
        StartString();
      } else if (c >= 0x30 && c <= 0x7E) {
        state_ = State::Ground;  // a complete escape sequence, dropped
      } else {
        state_ = State::Ground;  // not part of a sequence: read it again as text
        return i;
      }
      return i + 1;
    case State::Csi:
      if (c >= 0x40 && c <= 0x7E) {
        EndCsi(static_cast<char>(c));
      } else if (c == kEsc) {
        StartEscape();
      } else if (c == kDel || (c >= 0x20 && c <= 0x3F)) {
        if (!Holds()) {
          return i;
        }
        if (c >= 0x30 && c <= 0x3F) {
          // Digits and separators only: a private marker (< = > ?) makes it no colour sequence.
          const bool plain = (c >= '0' && c <= '9') || c == ';' || c == ':';
          if (!plain || params_.size() == kLongestParams) {
            csiUsable_ = false;
          } else if (csiUsable_) {
            params_.push_back(static_cast<char>(c));
          }
        } else if (c != kDel) {
          csiUsable_ = false;  // intermediate bytes
        }
      } else {
        state_ = State::Ground;
        return i;
      }
      return i + 1;
    case State::String: {
      // Only what can still belong to the string is searched for its end: the bytes that fit,
      // and the one after them, which may end it.
      const std::size_t room = longest_ - held_;
      const std::string_view rest = text.substr(i, std::min(room, text.size() - i) + 1);
      const std::size_t found = rest.find_first_of(kStringStops);
      if (found == std::string_view::npos) {
        if (rest.size() <= room) {
          held_ += rest.size();
          return i + rest.size();
        }
        // Too long for any real string: given up before the first character that does not
        // fit, which is read as text with everything after it.
        std::size_t resume = i + room;
        while (resume > i && utf8::IsContinuation(static_cast<unsigned char>(text[resume]))) {
          --resume;
        }
        state_ = State::Ground;
        return resume;
      }
      held_ += found;
      const std::size_t stop = i + found;
      const auto s = static_cast<unsigned char>(text[stop]);
      if (s == kEsc) {
        state_ = State::StringEscape;
      } else if (s == kC1Lead) {
        if (stop + 1 == text.size()) {
          heldC2_ = true;
          return stop + 1;
        }
        return stop + StringC2(static_cast<unsigned char>(text[stop + 1]));
      } else {
        state_ = State::Ground;  // BEL, CAN, SUB
      }
      return stop + 1;
    }
    case State::StringEscape:
      if (c == '\\') {  // ST
        state_ = State::Ground;
        return i + 1;
      }
      StartEscape();  // the string ended; this ESC starts whatever follows
      return i;
    case State::Ground:
      break;
  }
  return i + 1;
}

void EscapeFilter::EndCsi(char final) {
  state_ = State::Ground;
  if (final == 'm' && csiUsable_) {
    ApplySgr();
  }
}

void EscapeFilter::ApplySgr() {
  std::array<Param, kMostParams> p{};
  std::size_t n = 0;
  Param current;
  for (std::size_t k = 0; k <= params_.size(); ++k) {
    const char c = k < params_.size() ? params_[k] : ';';
    if (c >= '0' && c <= '9') {
      current.value = std::min(current.value * 10 + static_cast<unsigned>(c - '0'), 65535u);
      continue;
    }
    if (n == p.size()) {
      return;  // more than any real sequence holds: not ours to guess
    }
    p[n++] = current;
    current = Param{0, c == ':'};
  }
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned v = p[i].value;
    std::size_t subs = 0;
    while (i + 1 + subs < n && p[i + 1 + subs].sub) {
      ++subs;
    }
    if (v == 38 || v == 48 || v == 58) {
      const bool colons = subs > 0;
      std::uint32_t colour = 0;
      std::size_t used = 0;
      const bool ok =
          ExtendedColour(p.data() + i + 1, colons ? subs : n - i - 1, colons, colour, used);
      i += used;
      if (ok && v == 38) {
        fore_ = colour;
      } else if (ok && v == 48) {
        back_ = colour;
      } else if (!ok && !colons) {
        break;  // the parameters after it cannot be told apart from its own
      }
      continue;
    }
    i += subs;  // sub-parameters of anything else (4:3, a curly underline) are not shown
    if (v == 0) {
      fore_ = TextStyle::kDefaultFore;
      back_ = TextStyle::kDefaultBack;
      bold_ = false;
      reverse_ = false;
    } else if (v == 1) {
      bold_ = true;
    } else if (v == 22) {
      bold_ = false;
    } else if (v == 7) {
      reverse_ = true;
    } else if (v == 27) {
      reverse_ = false;
    } else if (v >= 30 && v <= 37) {
      fore_ = PaletteColour(v - 30);
    } else if (v == 39) {
      fore_ = TextStyle::kDefaultFore;
    } else if (v >= 40 && v <= 47) {
      back_ = PaletteColour(v - 40);
    } else if (v == 49) {
      back_ = TextStyle::kDefaultBack;
    } else if (v >= 90 && v <= 97) {
      fore_ = PaletteColour(v - 90 + 8);
    } else if (v >= 100 && v <= 107) {
      back_ = PaletteColour(v - 100 + 8);
    }
  }
  style_.fore = reverse_ ? back_ : fore_;
  style_.back = reverse_ ? fore_ : back_;
  style_.bold = bold_;
}

void EscapeFilter::Finish(Sink& sink) {
  if (heldC2_ && state_ == State::Ground) {
    Emit("\xC2", sink);
  }
  *this = EscapeFilter(longest_);
}

}  // namespace pelorin
