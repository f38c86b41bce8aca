// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reads one output stream the way a terminal reads it, and keeps only what a log can show: the
// text, its line feeds and carriage returns, and the colours that colour sequences (SGR) ask
// for. Every other escape or control sequence is removed and never acted on: cursor moves,
// clearing, modes, window titles, clipboard writes (OSC 52), hyperlinks (their text stays),
// device strings (DCS, SOS, PM, APC), two-byte escapes, C1 controls (U+0080 to U+009F; the
// introducers among them begin the same sequences as their ESC forms) and BEL.
//
// The other C0 controls (NUL, backspace, vertical tab, form feed, ...) and DEL stay in the text
// as they are: the surface shows each as a visible mark, so binary output and NUL-separated
// lists stay readable and nothing is silently lost, and acting on them (backspace moves the
// cursor) is not a log's business. A tab is text.
//
// A sequence may be split across any two calls: what is unfinished waits in the filter. Strings
// (OSC and the others) end at BEL, ST (ESC \ or U+009C), CAN or SUB, or at an ESC that starts
// something else. An escape or control sequence ends at the first character its grammar does not
// allow, and that character is read as text again. No sequence holds more than the longest
// there is (kLongestString bytes after its introducer): one that would is given up before the
// first character that does not fit (its end still ends it), and that character and all that
// follows are read as text, so a stray introducer in damaged output cannot hide the rest of it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/TextStyle.h"

namespace pelorin {

class EscapeFilter {
 public:
  static constexpr std::size_t kLongestString = 1 << 20;

  // longest: the most bytes a sequence may hold (smaller only where tests need it).
  explicit EscapeFilter(std::size_t longest = kLongestString) : longest_(longest) {}

  // Receives the stream's content, in order.
  class Sink {
   public:
    virtual void Text(std::string_view text, const TextStyle& style) = 0;
    virtual void LineFeed() = 0;
    virtual void CarriageReturn() = 0;

   protected:
    ~Sink() = default;
  };

  void Feed(std::string_view text, Sink& sink);
  // The stream has ended: an unfinished sequence is dropped, the colours are reset.
  void Finish(Sink& sink);

  const TextStyle& Style() const { return style_; }

 private:
  enum class State : std::uint8_t { Ground, Escape, EscapeIntermediate, Csi, String, StringEscape };

  // Reads the byte at text[i] inside a sequence; returns the index of the next byte to read.
  std::size_t Step(std::string_view text, std::size_t i);
  // Handles a C1 control (the byte after C2); false for a byte that is no C1 control.
  bool C1(unsigned char second);
  // A C2 read as text, whose next byte is text[next]: a C1 control or a character. Returns the
  // index of the next byte to read.
  std::size_t GroundC2(std::string_view text, std::size_t next, Sink& sink);
  // A C2 inside a string, followed by second: returns how many of the two bytes were read, 0
  // when the string ended before the C2.
  std::size_t StringC2(unsigned char second);
  // Whether one more byte fits the sequence; when not, it is given up and the byte is text.
  bool Holds();
  void StartEscape();
  void StartCsi();
  void StartString();
  void EndCsi(char final);
  void ApplySgr();
  void Emit(std::string_view text, Sink& sink);

  State state_ = State::Ground;
  std::string params_;     // the parameter bytes of the control sequence being read
  bool csiUsable_ = true;  // no intermediate bytes, no private marker, not too long
  std::size_t longest_;
  std::size_t held_ = 0;  // bytes the sequence being read holds so far
  bool heldC2_ = false;   // the stream's last byte was C2, which may begin a C1 control
  TextStyle style_;       // what the text gets
  // The colours asked for before reverse video is applied.
  std::uint32_t fore_ = TextStyle::kDefaultFore;
  std::uint32_t back_ = TextStyle::kDefaultBack;
  bool bold_ = false;
  bool reverse_ = false;
};

// The colour of an index of the 256-colour palette (0 to 15 the basic and bright colours, then
// the 6x6x6 cube and the grey ramp), 0xRRGGBB.
std::uint32_t PaletteColour(unsigned index);

}  // namespace pelorin
