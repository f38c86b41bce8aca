// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a bottom input panel needs of the bar along the window's bottom edge; the window
// provides it. The bar holds the caption of one panel at a time, with the text box TextGoto
// placed behind it.

#include <cstdint>

namespace pelorin {

// The open panel, as the window's field lPanelMode keeps it.
enum class PanelMode : std::int32_t { GoToLine = 1, AddDivider = 2, RemoveDivider = 3 };

class BottomBar {
 public:
  virtual ~BottomBar() = default;

  // Shows or hides the bar; the window is laid out again either way.
  virtual void ShowBottomBar(bool visible) = 0;
  // Empties the bar, then shows the caption of mode's panel; a mode outside 1 to 3 shows none.
  virtual void ShowPanelCaption(PanelMode mode) = 0;
  // The right edge of the caption shown, in the bar's pixels; -1 when none is shown.
  virtual int PanelCaptionRight() = 0;
};

}  // namespace pelorin
