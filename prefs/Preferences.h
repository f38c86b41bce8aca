// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The six preferences the main window holds while it runs, with the values they take when
// nothing is stored.

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
};

}  // namespace pelorin
