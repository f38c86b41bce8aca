// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The console's colours: its own (dark text on white, as it has always been), or the desktop's
// (the palette's base, text and highlight) for a user who has set the desktop up for the
// contrast they need. Coloured output is kept readable on whichever background it lands: a
// colour that stands out too little from its background is moved towards black or white, in its
// own hue, when it is filled in (a run costs the same whatever the history). The minimum is WCAG's
// for large text with the console's own colours and its minimum for all text with the desktop's.

#include <QColor>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <vector>

#include "console/OutputEdits.h"

class QPalette;

namespace pelorin {

class ConsoleSurface;

struct SurfacePalette {
  bool desktop = false;
  // 0xRRGGBB
  std::uint32_t text = 0x000000;
  std::uint32_t base = 0xFFFFFF;
  std::uint32_t marginText = 0x707070;
  std::uint32_t marginBack = 0xEEEEEE;
  std::uint32_t highlightRow = 0xFFF4B8;
  std::uint32_t divider = 0x802020;
  std::uint32_t markFore = 0x103A8C;
  std::uint32_t markBack = 0x3D7CF0;
  QColor selectionText, selectionBack;  // the desktop's; QScintilla's own when invalid
  double minContrast = 3.0;
  friend bool operator==(const SurfacePalette&, const SurfacePalette&) = default;
};

SurfacePalette OwnPalette();
SurfacePalette DesktopPalette(const QPalette& palette);

// Text, margins, caret, selection and markers. Resets every style to the default one (the font
// included), so it follows a font change too.
void ApplyPalette(ConsoleSurface& surface, const SurfacePalette& palette);

// The colours of one tick's output runs, base being where its text begins on the surface.
void FillRuns(ConsoleSurface& surface, long base, const std::vector<StyledRun>& runs,
              const SurfacePalette& palette);

// Brings the colours already on the surface from one palette to another: the lines in view at
// once, the rest a few milliseconds at a time while the window goes on working, so a long
// history never holds it up. A second change starts over from the colours then shown.
class Recolouring : public QObject {
  Q_OBJECT

 public:
  Recolouring(ConsoleSurface& surface, const SurfacePalette& from, const SurfacePalette& to);
  bool Done() const { return !timer_.isActive(); }
  // Runs every remaining slice at once (tests).
  void Finish();

 private:
  // Recolours [from, to) and returns where it stopped: to, or earlier once the time is up.
  long Recolour(long from, long to, qint64 budgetNs);
  void Slice();

  ConsoleSurface& surface_;
  SurfacePalette from_, to_;
  long viewFrom_ = 0, viewTo_ = 0;  // done at once
  long end_ = 0;                    // what came later has the new colours already
  long next_ = 0;
  QTimer timer_;
};

}  // namespace pelorin
