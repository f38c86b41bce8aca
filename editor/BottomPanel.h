// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The three bottom input panels (go to line, add divider, remove divider): the bottom bar shows
// one caption with the text box TextGoto behind it; Enter acts on the line number typed, Esc
// closes the panel.

#include <functional>

#include "editor/BottomBar.h"

class QLabel;
class QLineEdit;

namespace pelorin {

class ConsoleEditor;

class BottomPanel {
 public:
  struct Actions {
    std::function<void(int line)> addDevider;
    std::function<void(int line)> removeDevider;
  };

  // TextGoto is a child of the bar's widget.
  BottomPanel(BottomBar& bar, QLineEdit& TextGoto, ConsoleEditor& editor, Actions actions);

  void ShowBottomPanel(PanelMode mode);
  // Key release in TextGoto; qtKey is a Qt::Key.
  void TextGoto_KeyUp(int qtKey);

 private:
  void ClosePanel();
  int LeftEdge(PanelMode mode) const;
  void ShowHint();

  BottomBar& bar_;
  QLineEdit& TextGoto_;
  // Beside the box after Enter on anything but the number of a line: what the panel wants.
  QLabel* hint_;  // a child of the box's parent
  ConsoleEditor& editor_;
  Actions actions_;
  PanelMode lPanelMode_{};  // none until a panel opens
};

}  // namespace pelorin
