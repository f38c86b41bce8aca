// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/SurfaceColours.h"

#include <QElapsedTimer>
#include <QPalette>
#include <algorithm>
#include <limits>

#include "console/EscapeFilter.h"
#include "editor/ConsoleSurface.h"
#include "editor/ReadableColour.h"

namespace pelorin {

namespace {

using Sci = QsciScintillaBase;

// Scintilla's colours are 0xBBGGRR (the swap is its own inverse).
long Bgr(std::uint32_t rgb) {
  return static_cast<long>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}
std::uint32_t RgbOf(long bgr) {
  return static_cast<std::uint32_t>(Bgr(static_cast<std::uint32_t>(bgr) & 0xFFFFFF));
}

std::uint32_t Rgb(const QColor& colour) {
  return colour.rgb() & 0xFFFFFF;
}

// Bold basic colours as their bright versions, as many terminals show them.
std::uint32_t BoldAsBright(const TextStyle& style) {
  if (style.bold) {
    for (unsigned i = 0; i < 8; ++i) {
      if (style.fore == PaletteColour(i)) {
        return PaletteColour(i + 8);
      }
    }
  }
  return style.fore;
}

// The colours to fill for a piece of text, -1 where the surface's own shows (nothing to fill).
struct Fill {
  long fore = -1;
  long back = -1;
};

// The text's colour made readable on its background; the surface's own text colour where that
// is what it comes to and the text asked for no colour of its own.
Fill Resolve(std::uint32_t fore, bool defaultFore, long back, const SurfacePalette& p) {
  const std::uint32_t onto = back >= 0 ? RgbOf(back) : p.base;
  const std::uint32_t shown = ReadableOn(fore, onto, p.minContrast);
  return {defaultFore && shown == p.text ? -1 : Bgr(shown), back};
}

std::uint32_t Mix(std::uint32_t a, std::uint32_t b, double t) {
  std::uint32_t out = 0;
  for (const int shift : {16, 8, 0}) {
    const double ca = (a >> shift) & 0xFF, cb = (b >> shift) & 0xFF;
    out |= static_cast<std::uint32_t>(ca + (cb - ca) * t + 0.5) << shift;
  }
  return out;
}

void SetIndicator(ConsoleSurface& surface, int indicator, long value, long from, long length) {
  surface.Send(Sci::SCI_SETINDICATORCURRENT, static_cast<uintptr_t>(indicator));
  if (value < 0) {
    surface.Send(Sci::SCI_INDICATORCLEARRANGE, static_cast<uintptr_t>(from), length);
    return;
  }
  surface.Send(Sci::SCI_SETINDICATORVALUE, static_cast<uintptr_t>(Sci::SC_INDICVALUEBIT | value));
  surface.Send(Sci::SCI_INDICATORFILLRANGE, static_cast<uintptr_t>(from), length);
}

}  // namespace

SurfacePalette OwnPalette() {
  return {};
}

SurfacePalette DesktopPalette(const QPalette& palette) {
  SurfacePalette p;
  p.desktop = true;
  p.text = Rgb(palette.color(QPalette::Text));
  p.base = Rgb(palette.color(QPalette::Base));
  p.marginText = Rgb(palette.color(QPalette::WindowText));
  p.marginBack = Rgb(palette.color(QPalette::Window));
  const std::uint32_t highlight = Rgb(palette.color(QPalette::Highlight));
  p.highlightRow = Mix(p.base, highlight, 0.25);  // marks the row, keeps the text on it readable
  p.divider = p.text;
  p.markFore = p.text;
  p.markBack = highlight;
  p.selectionText = palette.color(QPalette::HighlightedText);
  p.selectionBack = palette.color(QPalette::Highlight);
  p.minContrast = kContrastForText;
  return p;
}

void ApplyPalette(ConsoleSurface& surface, const SurfacePalette& p) {
  surface.Send(Sci::SCI_STYLESETFORE, Sci::STYLE_DEFAULT, Bgr(p.text));
  surface.Send(Sci::SCI_STYLESETBACK, Sci::STYLE_DEFAULT, Bgr(p.base));
  surface.Send(Sci::SCI_STYLECLEARALL);  // every style takes the default's font and colours
  surface.Send(Sci::SCI_STYLESETFORE, Sci::STYLE_LINENUMBER, Bgr(p.marginText));
  surface.Send(Sci::SCI_STYLESETBACK, Sci::STYLE_LINENUMBER, Bgr(p.marginBack));
  surface.Send(Sci::SCI_SETCARETFORE, static_cast<uintptr_t>(Bgr(p.text)));
  surface.Send(Sci::SCI_MARKERSETBACK, ConsoleSurface::kHighlightMarker, Bgr(p.highlightRow));
  surface.Send(Sci::SCI_MARKERSETBACK, ConsoleSurface::kDividerMarker, Bgr(p.divider));
  surface.Send(Sci::SCI_MARKERSETFORE, ConsoleSurface::kMarkMarker, Bgr(p.markFore));
  surface.Send(Sci::SCI_MARKERSETBACK, ConsoleSurface::kMarkMarker, Bgr(p.markBack));
  if (p.selectionBack.isValid()) {
    surface.setSelectionBackgroundColor(p.selectionBack);
    surface.setSelectionForegroundColor(p.selectionText);
  } else {
    surface.resetSelectionBackgroundColor();
    surface.resetSelectionForegroundColor();
  }
}

void FillRuns(ConsoleSurface& surface, long base, const std::vector<StyledRun>& runs,
              const SurfacePalette& p) {
  for (const StyledRun& run : runs) {
    const std::uint32_t back = run.style.back;
    const long backFill = back == TextStyle::kDefaultBack   ? -1
                          : back == TextStyle::kDefaultFore ? Bgr(p.text)
                                                            : Bgr(back);
    const std::uint32_t fore = BoldAsBright(run.style);
    const bool defaultFore = fore == TextStyle::kDefaultFore;
    const std::uint32_t foreColour = defaultFore                       ? p.text
                                     : fore == TextStyle::kDefaultBack ? p.base
                                                                       : fore;
    const Fill fill = Resolve(foreColour, defaultFore, backFill, p);
    const long from = base + static_cast<long>(run.begin);
    const auto length = static_cast<long>(run.length);
    if (fill.fore >= 0) {
      SetIndicator(surface, ConsoleSurface::kForeIndicator, fill.fore, from, length);
    }
    if (fill.back >= 0) {
      SetIndicator(surface, ConsoleSurface::kBackIndicator, fill.back, from, length);
    }
  }
}

Recolouring::Recolouring(ConsoleSurface& surface, const SurfacePalette& from,
                         const SurfacePalette& to)
    : QObject(&surface), surface_(surface), from_(from), to_(to) {
  // What is in view first, all of it; that range is then left out of the slices.
  const long first = surface.Send(Sci::SCI_GETFIRSTVISIBLELINE);
  const long lines = surface.Send(Sci::SCI_LINESONSCREEN) + 1;
  viewFrom_ = surface.Send(Sci::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(first));
  viewTo_ =
      std::min(surface.Send(Sci::SCI_GETLENGTH),
               surface.Send(Sci::SCI_GETLINEENDPOSITION, static_cast<uintptr_t>(first + lines)));
  Recolour(viewFrom_, viewTo_, std::numeric_limits<qint64>::max());
  // Output that comes after now is filled in the new colours already.
  end_ = surface.Send(Sci::SCI_GETLENGTH);
  timer_.setInterval(0);
  connect(&timer_, &QTimer::timeout, this, &Recolouring::Slice);
  timer_.start();
}

void Recolouring::Finish() {
  while (!Done()) {
    Slice();
  }
}

void Recolouring::Slice() {
  constexpr qint64 kSliceNs = 4'000'000;  // far below what a person notices
  const long end = std::min(end_, surface_.Send(Sci::SCI_GETLENGTH));
  if (next_ < viewTo_ && next_ >= viewFrom_) {
    next_ = viewTo_;
  }
  const long stop = next_ < viewFrom_ ? std::min(viewFrom_, end) : end;
  next_ = Recolour(next_, stop, kSliceNs);
  if (next_ >= end) {
    timer_.stop();
  }
}

long Recolouring::Recolour(long from, long to, qint64 budgetNs) {
  QElapsedTimer clock;
  clock.start();
  const auto valueAt = [this](int indicator, long at) {
    return surface_.Send(Sci::SCI_INDICATORVALUEAT, static_cast<uintptr_t>(indicator), at);
  };
  const auto runEnd = [this, to](int indicator, long at) {
    const long end = surface_.Send(Sci::SCI_INDICATOREND, static_cast<uintptr_t>(indicator), at);
    return end > at ? std::min(end, to) : to;
  };
  const long own = Sci::SC_INDICVALUEBIT;
  long at = from;
  while (at < to && clock.nsecsElapsed() < budgetNs) {
    const long next = std::min(runEnd(ConsoleSurface::kForeIndicator, at),
                               runEnd(ConsoleSurface::kBackIndicator, at));
    const long oldFore = valueAt(ConsoleSurface::kForeIndicator, at);
    const long oldBack = valueAt(ConsoleSurface::kBackIndicator, at);
    // The surface's own colours filled in as such (reverse video) follow the palette; the
    // colours the output chose stay, only made readable on their new background.
    auto follow = [&](long value) -> std::uint32_t {
      const std::uint32_t colour = RgbOf(value & 0xFFFFFF);
      return colour == from_.base ? to_.base : colour == from_.text ? to_.text : colour;
    };
    const long back = (oldBack & own) != 0 ? Bgr(follow(oldBack)) : -1;
    const bool defaultFore = (oldFore & own) == 0;
    const Fill fill = Resolve(defaultFore ? to_.text : follow(oldFore), defaultFore, back, to_);
    if ((oldFore & own) != 0 || fill.fore >= 0) {
      if (fill.fore != ((oldFore & own) != 0 ? (oldFore & 0xFFFFFF) : -1)) {
        SetIndicator(surface_, ConsoleSurface::kForeIndicator, fill.fore, at, next - at);
      }
    }
    if (back >= 0 && back != (oldBack & 0xFFFFFF)) {
      SetIndicator(surface_, ConsoleSurface::kBackIndicator, back, at, next - at);
    }
    at = next;
  }
  return at;
}

}  // namespace pelorin
