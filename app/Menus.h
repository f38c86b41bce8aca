// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's bars and items: menu row, drop-downs, context menu and bottom bar, built once
// while the window loads.

#include <QIcon>
#include <QList>
#include <functional>

namespace pelorin {

class BarItem;
class CommandBar;

// The preference fields the three check items start from.
struct MenuPrefs {
  bool PrefVisibleSpaces = false;
  bool PrefLineNumbering = true;
  bool PrefHighlightLine = false;
  bool PrefDesktopColours = false;
};

// The two editor settings made as soon as their check item exists.
struct MenuEditorCalls {
  std::function<void(int command)> RunEditorCommand;  // kShowSpaces or kHideSpaces
  std::function<void(bool show)> ShowLineNumbers;
};

// The three panel items of the bottom bar, for the window's fields of the same names.
struct BottomPanels {
  BarItem* GotoPanel = nullptr;
  BarItem* AddDevPanel = nullptr;
  BarItem* RemoveDevPanel = nullptr;
};

inline constexpr int kIconCount = 23;
inline constexpr int kIconNewWindow = 0;
inline constexpr int kIconFind = 5;
inline constexpr int kIconCopy = 7;
inline constexpr int kIconPaste = 8;
inline constexpr int kIconHelp = 22;

// ilsIcons: 23 pictures of 16 x 16; the desktop theme's where it has them, else the program's
// own; the indexes no item uses are blank.
QList<QIcon> MakeIlsIcons();

// Builds the seven bars and their items on commandBar, whose elements 0 (top) and 1 (bottom)
// the host has loaded. Element 0 then shows the menu row, element 1 the empty bottom bar,
// hidden. The check items start from PrefVisibleSpaces, PrefLineNumbering and PrefHighlightLine
// of prefs; editor may leave a call empty.
BottomPanels BuildBars(CommandBar& commandBar, const MenuPrefs& prefs,
                       const MenuEditorCalls& editor, const QList<QIcon>& ilsIcons);

}  // namespace pelorin
