// SPDX-License-Identifier: GPL-3.0-or-later
// What a command's two streams look like on the surface: labels, line ends, carriage returns,
// colours, and the escape sequences that must never reach it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/OutputComposer.h"

namespace pelorin {
namespace {

using S = std::string;

const std::uint32_t kRed = PaletteColour(1);
const std::uint32_t kBlue = PaletteColour(4);

// The surface as the view keeps it: the text and the look of every byte.
struct Surface {
  S text;
  std::vector<TextStyle> looks;

  void Apply(const OutputEdits& edits) {
    if (edits.rewriteLine) {
      // The surface line linesBack above the last, each line after it a continuation.
      std::size_t start = text.size();
      for (std::size_t back = 0;; ++back) {
        const std::size_t end = start == 0 ? S::npos : text.find_last_of("\n~", start - 1);
        start = end == S::npos ? 0 : end + 1;
        if (back == edits.linesBack)
          break;
        ASSERT_TRUE(end != S::npos && text[end] == '~') << "a rewrite reaches past its line";
        start = end;
      }
      ASSERT_LE(start + edits.keepBytes, text.size()) << "rewrite keeps more than the line holds";
      text.resize(start + edits.keepBytes);
      looks.resize(text.size());
    }
    const std::size_t base = text.size();
    text += edits.text;
    looks.resize(text.size());
    for (const std::size_t at : edits.softBreaks) {
      ASSERT_EQ(text[base + at], '\n') << "a soft break is a line end";
      text[base + at] = '~';  // shown where the surface breaks a line the command did not
    }
    std::size_t end = 0;
    for (const StyledRun& run : edits.runs) {
      ASSERT_FALSE(run.style.IsDefault()) << "a run for plain text costs memory for nothing";
      ASSERT_TRUE(run.length > 0 && run.begin >= end &&
                  run.begin + run.length <= edits.text.size());
      end = run.begin + run.length;
      std::fill_n(looks.begin() + static_cast<std::ptrdiff_t>(base + run.begin), run.length,
                  run.style);
    }
  }

  // The text with the look written in where it changes: [fore/back!] with colours in hex and !
  // for bold, [] back to plain.
  S Marked() const {
    S out;
    TextStyle now;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (!(looks[i] == now)) {
        now = looks[i];
        char buf[64];
        std::snprintf(buf, sizeof buf, "[%s/%s%s]",
                      now.fore == TextStyle::kDefaultFore ? "" : Hex(now.fore).c_str(),
                      now.back == TextStyle::kDefaultBack ? "" : Hex(now.back).c_str(),
                      now.bold ? "!" : "");
        out += now.IsDefault() ? "[]" : buf;
      }
      out += text[i];
    }
    return out;
  }
  static S Hex(std::uint32_t c) {
    char buf[16];
    std::snprintf(buf, sizeof buf, c > 0xFFFFFF ? "d%X" : "%06X", c);
    return buf;
  }
};

// Feeds the ticks ({out, err} each) to a fresh composer and returns the surface.
Surface Show(const std::vector<std::pair<S, S>>& ticks, bool finish = false,
             const S& lineEnd = "\n") {
  OutputComposer composer(lineEnd);
  Surface surface;
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    const bool last = finish && i + 1 == ticks.size();
    surface.Apply(last ? composer.Finish(ticks[i].first, ticks[i].second)
                       : composer.Feed(ticks[i].first, ticks[i].second));
  }
  return surface;
}
S Text(const std::vector<std::pair<S, S>>& ticks, bool finish = false) {
  return Show(ticks, finish).text;
}

TEST(OutputComposer, EveryLineOfStandardErrorIsLabelledAndTheStreamsNeverShareALine) {
  const struct {
    std::vector<std::pair<S, S>> ticks;
    S shown;
  } cases[] = {
      // A compiler's error of several lines in one tick; an empty line is labelled too.
      {{{"", "a.c:1:5: error: x\n    1 | int x\n      |     ^\n\nend\n"}},
       "STDERR: a.c:1:5: error: x\nSTDERR:     1 | int x\nSTDERR:       |     ^\nSTDERR: \n"
       "STDERR: end\n"},
      // One line spread over ticks keeps one label.
      {{{"", "par"}, {"", "tial\nnext"}, {"", "\n"}}, "STDERR: partial\nSTDERR: next\n"},
      // Both streams in one tick, the output's line unfinished: the error text begins a line.
      {{{"part1-out-a-", "part2"}}, "part1-out-a-\nSTDERR: part2"},
      // The interrupted output goes on on a line of its own; its line end closes nothing twice.
      {{{"part1-out-a-", "part2"}, {"b\n", ""}, {"", "\n"}}, "part1-out-a-\nSTDERR: part2\nb\n"},
      {{{"abc", "E\n"}, {"\n", ""}}, "abc\nSTDERR: E\n"},
      {{{"abc\r", ""}, {"", "E"}, {"\r\n", "\n"}, {"x", ""}}, "abc\nSTDERR: E\nx"},
      // Finished lines need nothing extra.
      {{{"out\n", "err\n"}, {"out2\n", ""}}, "out\nSTDERR: err\nout2\n"},
      {{{"", "e1\n"}, {"o1\n", "e2\n"}}, "STDERR: e1\no1\nSTDERR: e2\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.ticks), c.shown);
  }
}

TEST(OutputComposer, CarriageReturnsRedrawTheLineAndCrLfEndsIt) {
  const struct {
    std::vector<std::pair<S, S>> ticks;
    S shown;
  } cases[] = {
      {{{"a\r\nb\r\n", ""}}, "a\nb\n"},
      {{{"a\r", ""}, {"\nb", ""}}, "a\nb"},  // CR at a tick's end, LF in the next
      {{{"abc\rX", ""}}, "X"},               // the new text replaces the line
      {{{"10%\r20%\r", ""}, {"30%\r", ""}, {"100%\n", ""}}, "100%\n"},
      {{{"keep\r", ""}}, "keep"},      // nothing new yet: the last state stays
      {{{"abc\r\r\n", ""}}, "abc\n"},  // CR CR LF, as text-mode files sometimes hold
      {{{"\rx\r", ""}, {"\ry", ""}}, "y"},
      {{{"line\n\rnext", ""}}, "line\nnext"},
      {{{"", "w: 1\rw: 2"}, {"", "\rw: 3\n"}}, "STDERR: w: 3\n"},  // the label stays
      {{{"done\n50%\r", ""}, {"", "E\n"}, {"more\n", ""}}, "done\n50%\nSTDERR: E\nmore\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.ticks), c.shown);
  }
  // Program line ends are the program's own.
  EXPECT_EQ(Show({{"a\nb\r\nc", "d\n"}}, false, "\r\n").text, "a\r\nb\r\nc\r\nSTDERR: d\r\n");
}

TEST(OutputComposer, ARedrawCostsOnlyWhatIsShownAndTouchesOnlyTheLastLine) {
  OutputComposer composer("\n");
  S progress;
  for (int i = 0; i <= 100; ++i) {
    progress += "\r" + std::to_string(i) + "%";
  }
  OutputEdits first = composer.Feed("head\n" + progress, "");
  EXPECT_EQ(first.text, "head\n100%") << "redraws within a tick are settled before the surface";
  EXPECT_FALSE(first.rewriteLine);
  OutputEdits second = composer.Feed("\rdone", "");
  EXPECT_TRUE(second.rewriteLine);
  EXPECT_EQ(second.keepBytes, 0u);
  EXPECT_EQ(second.text, "done");

  OutputComposer errors("\n");
  errors.Feed("", "1/3\r");
  OutputEdits redraw = errors.Feed("", "2/3\r3/3");
  EXPECT_TRUE(redraw.rewriteLine);
  EXPECT_EQ(redraw.keepBytes, OutputComposer::kErrLabel.size());
  EXPECT_EQ(redraw.text, "3/3");
}

TEST(OutputComposer, EscapeAndControlSequencesOtherThanColourAreRemoved) {
  const struct {
    S bytes;
    S shown;
  } cases[] = {
      {"\x1b[2J\x1b[H\x1b[3;4Hhome\x1b[K\x1b[1A\x1b[?25l\x1b[?1049h.", "home."},
      {"a\x1b]0;window title\007b\x1b]2;t\x1b\\c", "abc"},
      {"x\x1b]52;c;c2VjcmV0\x07y\x1b]52;p;?\x1b\\z", "xyz"},                     // clipboard writes
      {"\x1b]8;;https://x.example/\x1b\\link\x1b]8;;\x1b\\ text", "link text"},  // hyperlink
      {"1\x1bP1$r0m\x1b\\2\x1b_Gf=1;AAAA\x1b\\3\x1b^pm\x1b\\4\x1bXsos\x1b\\5", "12345"},
      {"\x1b(B\x1b)0\0337\0338\033c\x1bM\x1b=\x1b>ok", "ok"},  // two-byte and charset
      {"bell\a\a!", "bell!"},
      {"c1:\xC2\x84\xC2\x85\xC2\x8D\302\2332J\302\2350;t\xC2\234end", "c1:end"},
      {"\302\2350;t\x07\xC2\xA0nbsp\xC3\xA4", "\xC2\xA0nbsp\xC3\xA4"},  // C2 leads text too
      {"\x1b[>4;2m\x1b[=5u\x1b[?2004hx", "x"},    // private modes: removed, never colours
      {"stray\x1b[12\nnext\x1b", "stray\nnext"},  // a sequence ends at what it cannot hold
      {"a\x1b[3\030b\x1b]0;x\032c", "abc"},       // CAN and SUB cancel
      {"esc\x1b\xC3\xA4", "esc\xC3\xA4"},         // non-ASCII ends an escape and is text
      {S("nul\0bs\bvt\vff\fdel\x7ftab\t", 21), S("nul\0bs\bvt\vff\fdel\x7ftab\t", 21)},
  };
  for (const auto& c : cases) {
    const Surface shown = Show({{c.bytes, ""}}, true);
    EXPECT_EQ(shown.text, c.shown) << shown.Marked();
    EXPECT_EQ(shown.Marked(), c.shown) << "no colour from a removed sequence";
  }
}

TEST(OutputComposer, ColourSequencesColourTheTextThatFollows) {
  const struct {
    S bytes;
    S marked;
  } cases[] = {
      {"\x1b[31mred\x1b[0m plain", "[CC0000/]red[] plain"},
      {"\x1b[1;34mdir\x1b[m", "[3465A4/!]dir"},
      {"\x1b[91;42mx\x1b[39my\x1b[49mz", "[EF2929/4E9A06]x[/4E9A06]y[]z"},
      {"\x1b[38;5;196ma\x1b[48;5;21mb\x1b[38;5;244mc",
       "[FF0000/]a[FF0000/0000FF]b[808080/0000FF]c"},
      {"\x1b[38;2;1;2;3ma\x1b[48;2;255;254;253mb", "[010203/]a[010203/FFFEFD]b"},
      {"\x1b[38:2::1:2:3ma\x1b[38:2:4:5:6mb\x1b[38:5:16mc", "[010203/]a[040506/]b[000000/]c"},
      {"\x1b[4:3;31mx", "[CC0000/]x"},  // a curly underline's sub-parameter is skipped
      {"\x1b[1mb\x1b[22mn", "[/!]b[]n"},
      {"\x1b[7mrev\x1b[31mred\x1b[27mx", "[d2000000/d1000000]rev[d2000000/CC0000]red[CC0000/]x"},
      {"\x1b[31m\x1b[38;5mx", "[CC0000/]x"},  // malformed: what came before holds
      {"\x1b[38;2;300;0;0;1mx", "x"},         // out of range: the rest is not guessed
      {"\x1b[31m\x1b[0;;1mx", "[/!]x"},
      {"\302\23332mgreen", "[4E9A06/]green"},  // the C1 introducer
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Show({{c.bytes, ""}}).Marked(), c.marked) << c.bytes;
  }
  // ls --color=always: only the coloured names cost style data.
  const S ls = "\x1b[0m\x1b[01;34mbin\x1b[0m  notes.txt\n\x1b[01;32mrun.sh\x1b[0m\n";
  OutputComposer composer("\n");
  const OutputEdits edits = composer.Feed(ls, "");
  EXPECT_EQ(edits.text, "bin  notes.txt\nrun.sh\n");
  EXPECT_EQ(edits.runs,
            (std::vector<StyledRun>{{0, 3, {kBlue, TextStyle::kDefaultBack, true}},
                                    {15, 6, {PaletteColour(2), TextStyle::kDefaultBack, true}}}));
}

TEST(OutputComposer, PlainTextHasNoStyleDataAndEachStreamKeepsItsOwnColours) {
  OutputComposer composer("\n");
  EXPECT_TRUE(composer.Feed("plain\n\x1b[0mstill plain\x1b[m\n", "and errors\n").runs.empty());
  Surface surface;
  surface.Apply(composer.Feed("\x1b[31mred ", "err "));
  surface.Apply(composer.Feed("on\n", "plain\n"));
  EXPECT_EQ(surface.Marked(), "[CC0000/]red []\nSTDERR: err \n[CC0000/]on[]\nSTDERR: plain\n");
}

// The same bytes give the same surface wherever a tick boundary cuts them.
TEST(OutputComposer, SequencesSplitAcrossTicksAtAnyByteMeanTheSame) {
  const S samples[] = {
      "a\x1b[38;2;10;20;30mb\x1b[0mc\r\nd",
      "t\x1b]0;title\x07u\x1b]52;c;aGk=\x1b\\v",
      "1\x1bP+q\x1b\\2\x1b(B3\302\2331;31m4\302\2352;x\xC2\2345",
      "10%\r20%\r\n30%\r40%",
      "\x1b[38:5:9mx\x1b[48;5;1my\xC2\xA0z",
  };
  for (const S& bytes : samples) {
    for (const bool onErr : {false, true}) {
      const auto tick = [onErr](const S& s) {
        return onErr ? std::pair<S, S>{"", s} : std::pair<S, S>{s, ""};
      };
      const S whole = Show({tick(bytes)}, true).Marked();
      for (std::size_t cut = 0; cut <= bytes.size(); ++cut) {
        EXPECT_EQ(Show({tick(bytes.substr(0, cut)), tick(bytes.substr(cut))}, true).Marked(), whole)
            << "cut at " << cut << " of " << bytes;
      }
    }
  }
}

TEST(OutputComposer, LongLinesGoOnAfterSoftBreaksNeverInsideACharacter) {
  OutputComposer composer("\n", 10);
  Surface surface;
  surface.Apply(composer.Feed(S(25, 'x'), ""));
  surface.Apply(composer.Feed("y\n123456789\xE2\x82\xAC", "abcdefg"));
  // The continuation of an error line is the same line: it carries no label of its own.
  EXPECT_EQ(surface.text, "xxxxxxxxxx~xxxxxxxxxx~xxxxxy\n123456789~\xE2\x82\xAC\nSTDERR: ab~cdefg");
  // A redraw replaces the whole line, every piece of it, whether the pieces came in earlier
  // ticks or in this one.
  surface.Apply(composer.Feed("", "\rZ"));
  EXPECT_EQ(surface.text, "xxxxxxxxxx~xxxxxxxxxx~xxxxxy\n123456789~\xE2\x82\xAC\nSTDERR: Z");
  surface.Apply(composer.Feed(S(25, 'A') + "\rdone\n" + S(15, 'B'), ""));
  surface.Apply(composer.Feed(S(15, 'C') + "\r", ""));
  surface.Apply(composer.Feed("end\n", ""));
  EXPECT_TRUE(surface.text.ends_with("\nSTDERR: Z\ndone\nend\n")) << surface.text;
}

TEST(OutputComposer, FinishSettlesWhatNothingCanCompleteAndTellsWhereThePromptGoes) {
  const struct {
    S out, err;
    S shown;
    bool atLineStart;
  } cases[] = {
      {"", "", "", true},
      {"abc\n", "", "abc\n", true},
      {"abc", "", "abc", false},  // the prompt needs a line of its own
      {"", "err\n", "STDERR: err\n", true},
      {"50%\r", "", "50%", false},
      {"abc\x1b[3", "", "abc", false},
      {"cut\x1b]0;never ended", "", "cut", false},
      {"tail\xC2", "", "tail\xC2", false},
  };
  for (const auto& c : cases) {
    OutputComposer composer("\n");
    Surface surface;
    surface.Apply(composer.Finish(c.out, c.err));
    EXPECT_EQ(surface.text, c.shown) << c.out;
    EXPECT_EQ(composer.AtLineStart(), c.atLineStart) << c.out;
    composer.Restart();
    surface.Apply(composer.Feed("x\n", ""));
    EXPECT_EQ(surface.Marked().substr(c.shown.size()), "x\n") << "the next run starts afresh";
  }
  // A stray introducer cannot hide more than the longest string there is.
  const S hidden(EscapeFilter::kLongestString, 'h');
  EXPECT_EQ(Text({{"\x1b]" + hidden, ""}, {"shown", ""}}), "shown");
}

// A sequence that never ends (a stray introducer in binary output, or output made to hide what
// follows) ends at its cap, wherever that falls, and everything after it is shown: the bytes
// at and after the cap, a character across it, another sequence begun inside it.
TEST(OutputComposer, NoSequenceHidesWhatFollowsItsCap) {
  constexpr std::size_t cap = EscapeFilter::kLongestString;
  const S after = "\n1\n2\nEND\n";
  const struct {
    S head;
    S shown;  // what the surface ends with
  } cases[] = {
      {"\x1b]" + S(cap - 2, 'a') + "\xC2\xB0", after},
      {"\x1b]" + S(cap - 1, 'a') + "\xC2\xB0", "\xC2\xB0" + after},
      {"\x1b]" + S(cap, 'a') + "\xC2\xB0", "\xC2\xB0" + after},
      {"\x1b]" + S(cap - 1, 'a') + "\xC3\xA4", "\xC3\xA4" + after},
      {"\x1bP" + S(cap, 'a') + "\x1b", after},
      {"\x1b[" + S(cap + 5, '1'), "11111" + after},
      {"\x1b(" + S(cap + 5, ' '), S(6, ' ') + after},  // the "(" counts
  };
  for (std::size_t n = 0; n < std::size(cases); ++n) {
    const auto& c = cases[n];
    for (const bool onErr : {false, true}) {
      // In ticks of one pipe's worth, as the runner reads them.
      const S bytes = c.head + after;
      std::vector<std::pair<S, S>> ticks;
      for (std::size_t at = 0; at < bytes.size(); at += 30720) {
        const S tick = bytes.substr(at, 30720);
        ticks.push_back(onErr ? std::pair<S, S>{"", tick} : std::pair<S, S>{tick, ""});
      }
      const S shown = Text(ticks, true);
      const S tail = onErr ? "STDERR: " + c.shown.substr(0, c.shown.find('\n')) +
                                 "\nSTDERR: 1\nSTDERR: 2\nSTDERR: END\n"
                           : c.shown;
      EXPECT_TRUE(shown.ends_with(tail))
          << "case " << n << (onErr ? " on standard error" : "") << " shows "
          << ::testing::PrintToString(
                 shown.substr(shown.size() - std::min<std::size_t>(shown.size(), 24)));
    }
  }
}

}  // namespace
}  // namespace pelorin
