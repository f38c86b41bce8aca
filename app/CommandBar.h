// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command bar control: one shared collection of bars and items, shown by any number of
// elements. An element docked at the top draws its bar as a menu row; any other element draws
// it as a row of buttons, where a panel item shows its caption as a label. Every item is one
// QAction shared by every menu and row it stands on, so it reports the same key from each, and
// its shortcut works anywhere in the window that holds an element. Drop-downs and context menus
// are menus of their own, so the control never asks its host for one more element.

#include <QIcon>
#include <QKeySequence>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <memory>
#include <vector>

#include "qtsupport/InputCodes.h"

class QAction;
class QHBoxLayout;
class QMenu;
class QMenuBar;

namespace pelorin {

class Bar;
class BarElement;
class CommandBar;

// How an item shows: a panel shows only its caption (a bottom bar's text box goes beside it).
enum class ItemStyle { Normal = 0, Separator = 1, Panel = 3, Check = 4 };

// Where the host docks an element: the top one shows its bar as the menu row, the bottom one as
// a row of buttons.
enum class ElementAlignment { Top = 1, Bottom = 2 };

// The Windows virtual-key code of F1 (F2 to F24 follow it); the code of a letter or a digit is its
// upper-case character ('N').
inline constexpr int kVkF1 = 112;

// A Windows virtual-key code (letters, digits, F1 to F24, and the common editing and movement
// keys) with a modifier mask of qtsupport/InputCodes.h, as a Qt key sequence; empty for code 0 or
// an unknown code.
QKeySequence KeySequenceFromVirtualKey(int virtualKey, int modifiers);

class BarItem {
 public:
  BarItem(const BarItem&) = delete;
  BarItem& operator=(const BarItem&) = delete;
  ~BarItem();

  const QString& Key() const { return key_; }
  const QString& Caption() const { return caption_; }
  const QString& ToolTip() const { return toolTip_; }
  int IconIndex() const { return iconIndex_; }
  ItemStyle Style() const { return style_; }
  int ShortcutKey() const { return shortcutKey_; }
  int ShortcutModifiers() const { return shortcutModifiers_; }

  // A check item's tick; the control flips it before it raises ItemClick.
  bool CheckMark() const;
  void SetCheckMark(bool checked);

  bool ShowCaption() const { return showCaption_; }
  void SetShowCaption(bool show);

  // Choosing the item opens this bar as its drop-down (null: none).
  Bar* SubBar() const { return subBar_; }
  void SetSubBar(Bar* bar);

  // The one action standing for the item in every menu and row.
  QAction* Action() const { return action_; }

 private:
  friend class CommandBar;
  BarItem(CommandBar& owner, const QString& key, int iconIndex, const QString& caption,
          ItemStyle style, const QString& toolTip, int shortcutKey, int shortcutModifiers);

  CommandBar& owner_;
  QString key_;
  QString caption_;
  QString toolTip_;
  int iconIndex_;
  ItemStyle style_;
  int shortcutKey_;
  int shortcutModifiers_;
  bool showCaption_ = false;
  Bar* subBar_ = nullptr;
  QAction* action_;
};

// An ordered list of items; one item may stand on several bars.
class Bar {
 public:
  Bar(const Bar&) = delete;
  Bar& operator=(const Bar&) = delete;
  ~Bar();

  const QString& Key() const { return key_; }
  const QString& Title() const { return title_; }
  const QList<BarItem*>& Items() const { return items_; }
  int Count() const { return static_cast<int>(items_.size()); }

  void Append(BarItem* item);  // a null item is ignored
  void Clear();

  // The bar as a drop-down or context menu (built on first use, kept in step with the list).
  QMenu* Menu();

 private:
  friend class CommandBar;
  Bar(CommandBar& owner, const QString& key, const QString& title);
  void RefreshMenu();

  CommandBar& owner_;
  QString key_;
  QString title_;
  QList<BarItem*> items_;
  std::unique_ptr<QMenu> menu_;
};

// One element of the control: a widget the host places in its window.
class BarElement : public QWidget {
  Q_OBJECT

 public:
  ~BarElement() override;

  int Index() const { return index_; }
  ElementAlignment Alignment() const { return alignment_; }

  Bar* ShownBar() const { return shownBar_; }
  void SetShownBar(Bar* bar);

  // The pictures that items' icon indexes point into. Items are shared by every element, so
  // their pictures come from the list given last.
  void SetImages(const QList<QIcon>& images);
  const QList<QIcon>& Images() const { return images_; }

  // Converts x, y in place from the client coordinates of window to screen coordinates.
  void PointToScreen(int& x, int& y, const QWidget* window) const;
  // Shows the bar as a context menu at the screen point x, y and returns when it closes; a
  // chosen item has been reported through ItemClick by then.
  void PopupBar(int x, int y, Bar* bar);

  // The host's visible flag (the element's own, whether or not its window is shown).
  bool Visible() const { return !isHidden(); }
  void SetVisible(bool visible) { setVisible(visible); }
  // The height the element takes when docked, in pixels.
  int Height() const;

  // The menu row of a top element (null for other elements).
  QMenuBar* MenuRow() const { return menuRow_; }

  QSize sizeHint() const override;

 private:
  friend class CommandBar;
  BarElement(CommandBar& owner, int index, ElementAlignment alignment, QWidget* parent);
  void Rebuild();
  void RebuildButtonRow();
  void Detach();

  CommandBar* owner_;
  int index_;
  ElementAlignment alignment_;
  Bar* shownBar_ = nullptr;
  QList<QIcon> images_;
  QHBoxLayout* layout_;
  QMenuBar* menuRow_ = nullptr;
  std::vector<QPointer<QWidget>> rowWidgets_;
};

class CommandBar : public QObject {
  Q_OBJECT

 public:
  explicit CommandBar(QObject* parent = nullptr);
  ~CommandBar() override;

  // Loads the next element of the control into parent (the host places it by alignment).
  BarElement* AddElement(ElementAlignment alignment, QWidget* parent);
  BarElement* Element(int index) const;
  int ElementCount() const { return static_cast<int>(elements_.size()); }

  // A key already in use gives null and changes nothing.
  Bar* AddBar(const QString& key, const QString& title);
  Bar* FindBar(const QString& key) const;
  BarItem* AddItem(const QString& key, int iconIndex, const QString& caption, ItemStyle style,
                   const QString& toolTip, int shortcutKey, int shortcutModifiers);
  BarItem* FindItem(const QString& key) const;
  // Everything the control holds, in the order it was created.
  QList<Bar*> AllBars() const;
  QList<BarItem*> AllItems() const;

 signals:
  // Every chosen item: from a menu, the context menu, a row or a shortcut.
  void ItemClick(int element, pelorin::BarItem* item);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class Bar;
  friend class BarItem;
  friend class BarElement;
  void WatchMenu(QMenu* menu);
  void BarChanged(Bar* bar);
  void ItemChanged();
  void ApplyIcons();
  void ApplyIcon(BarItem* item);
  void Triggered(BarItem* item);
  int MenuRowElement() const;
  bool HostsWindow(const QWidget* window) const;

  std::vector<std::unique_ptr<Bar>> bars_;
  std::vector<std::unique_ptr<BarItem>> items_;
  std::vector<QPointer<BarElement>> elements_;
  QList<QIcon> images_;
  int clickSource_ = -1;  // element that produced the click under way; -1: the menu row
  QPointer<QWidget> focusBeforeMenu_;  // where the keyboard was when a menu last opened
};

}  // namespace pelorin
