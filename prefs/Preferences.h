// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The preferences the main window holds while it runs, with the values they take when nothing is
// stored: the six the menus and dialogs set, and the console's zoom.

#include <QString>
#include <QtGlobal>

#include "prefs/DefaultStartDir.h"

namespace pelorin {

struct Preferences {
  bool PrefHighlightLine = false;
  bool PrefLineNumbering = true;
  bool PrefVisibleSpaces = false;
  QString PrefFontName = QStringLiteral("Courier New");
  qint16 PrefFontSize = 12;
  QString PrefStartDir = QString::fromStdString(DefaultStartDir());
  // The console in the desktop's colours instead of its own.
  bool PrefDesktopColours = false;
  // Zoom steps as Ctrl+wheel and Ctrl+plus make them, kMinZoom to kMaxZoom; 0 the font's size.
  int PrefZoom = 0;
  static constexpr int kMinZoom = -10;
  static constexpr int kMaxZoom = 20;
};

}  // namespace pelorin
