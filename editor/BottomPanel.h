#pragma once

// The three bottom input panels (go to line, add divider, remove divider): the bottom bar shows
// one caption with the text box TextGoto behind it; Enter acts on the line number typed, Esc
// closes the panel.

#include <functional>

#include "app/Menus.h"

class QLineEdit;

namespace pelorin {

class CommandBar;
class ConsoleEditor;

class BottomPanel {
 public:
  struct Actions {
    std::function<void()> relayout;  // re-lays out the window after element 1 changed
    std::function<void(int line)> addDevider;
    std::function<void(int line)> removeDevider;
  };

  BottomPanel(CommandBar& commandBar, const BottomPanels& panels, QLineEdit& TextGoto,
              ConsoleEditor& editor, Actions actions);

  void ShowBottomPanel(int mode);
  // Key release in TextGoto; qtKey is a Qt::Key.
  void TextGoto_KeyUp(int qtKey);

  int lPanelMode() const { return lPanelMode_; }

 private:
  void ClosePanel();
  int LeftEdge(int mode) const;

  CommandBar& commandBar_;
  BottomPanels panels_;
  QLineEdit& TextGoto_;
  ConsoleEditor& editor_;
  Actions actions_;
  int lPanelMode_ = 0;
};

}  // namespace pelorin
