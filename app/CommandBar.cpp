// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandBar.h"

#include <QAction>
#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <iterator>
#include <utility>

namespace pelorin {

namespace {

// Virtual-key codes of the keys with no character of their own (VK_BACK to VK_DELETE).
constexpr std::pair<int, Qt::Key> kNamedKeys[] = {
    {8, Qt::Key_Backspace}, {9, Qt::Key_Tab},     {13, Qt::Key_Return},   {27, Qt::Key_Escape},
    {32, Qt::Key_Space},    {33, Qt::Key_PageUp}, {34, Qt::Key_PageDown}, {35, Qt::Key_End},
    {36, Qt::Key_Home},     {37, Qt::Key_Left},   {38, Qt::Key_Up},       {39, Qt::Key_Right},
    {40, Qt::Key_Down},     {45, Qt::Key_Insert}, {46, Qt::Key_Delete},
};
constexpr int kVkF24 = kVkF1 + 23;

}  // namespace

QKeySequence KeySequenceFromVirtualKey(int virtualKey, int modifiers) {
  int key = 0;
  if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
    key = virtualKey;  // Qt uses the same codes for letters and digits
  } else if (virtualKey >= kVkF1 && virtualKey <= kVkF24) {
    key = Qt::Key_F1 + (virtualKey - kVkF1);
  } else {
    const auto* named =
        std::find_if(std::begin(kNamedKeys), std::end(kNamedKeys),
                     [virtualKey](const auto& pair) { return pair.first == virtualKey; });
    if (named == std::end(kNamedKeys)) {
      return {};
    }
    key = named->second;
  }
  return QKeySequence(
      QKeyCombination(ModifiersFromShiftCode(modifiers), static_cast<Qt::Key>(key)));
}

// ---- BarItem

BarItem::BarItem(CommandBar& owner, const QString& key, int iconIndex, const QString& caption,
                 ItemStyle style, const QString& toolTip, int shortcutKey, int shortcutModifiers)
    : owner_(owner),
      key_(key),
      caption_(caption),
      toolTip_(toolTip),
      iconIndex_(iconIndex),
      style_(style),
      shortcutKey_(shortcutKey),
      shortcutModifiers_(shortcutModifiers),
      action_(new QAction(caption, &owner)) {
  action_->setSeparator(style == ItemStyle::Separator);
  action_->setCheckable(style == ItemStyle::Check);
  action_->setToolTip(toolTip);
  action_->setShortcut(KeySequenceFromVirtualKey(shortcutKey, shortcutModifiers));
  action_->setShortcutContext(Qt::WindowShortcut);
  QObject::connect(action_, &QAction::triggered, &owner, [this] { owner_.Triggered(this); });
}

BarItem::~BarItem() {
  delete action_;
}

bool BarItem::CheckMark() const {
  return action_->isChecked();
}

void BarItem::SetCheckMark(bool checked) {
  action_->setChecked(checked);
}

void BarItem::SetShowCaption(bool show) {
  showCaption_ = show;
  owner_.ItemChanged();
}

void BarItem::SetSubBar(Bar* bar) {
  subBar_ = bar;
  action_->setMenu(bar ? bar->Menu() : static_cast<QMenu*>(nullptr));
  owner_.ItemChanged();
}

// ---- Bar

Bar::Bar(CommandBar& owner, const QString& key, const QString& title)
    : owner_(owner), key_(key), title_(title) {}

Bar::~Bar() = default;

void Bar::Append(BarItem* item) {
  if (!item)
    return;
  items_.append(item);
  owner_.BarChanged(this);
}

void Bar::Clear() {
  items_.clear();
  owner_.BarChanged(this);
}

QMenu* Bar::Menu() {
  if (!menu_) {
    menu_ = std::make_unique<QMenu>();
    menu_->setTitle(title_);
    menu_->setAccessibleName(title_);
    owner_.WatchMenu(menu_.get());
    RefreshMenu();
  }
  return menu_.get();
}

void Bar::RefreshMenu() {
  if (!menu_)
    return;
  menu_->clear();  // the actions belong to the control; clear only takes them off
  for (BarItem* item : items_)
    menu_->addAction(item->Action());
}

// ---- BarElement

BarElement::BarElement(CommandBar& owner, int index, ElementAlignment alignment, QWidget* parent)
    : QWidget(parent),
      owner_(&owner),
      index_(index),
      alignment_(alignment),
      layout_(new QHBoxLayout(this)) {
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  if (alignment_ == ElementAlignment::Top) {
    layout_->setContentsMargins(0, 0, 0, 0);
    menuRow_ = new QMenuBar(this);
    menuRow_->setNativeMenuBar(false);  // the row belongs inside the window, as the host lays it
    layout_->addWidget(menuRow_);
  } else {
    layout_->setContentsMargins(2, 2, 2, 2);
    layout_->addStretch();
  }
}

BarElement::~BarElement() = default;

void BarElement::SetShownBar(Bar* bar) {
  shownBar_ = bar;
  // Assistive technologies name the row after the bar it shows ("Main bar", "Bottom bar").
  setAccessibleName(bar != nullptr ? bar->Title() : QString());
  if (menuRow_) {
    menuRow_->setAccessibleName(accessibleName());
  }
  Rebuild();
}

void BarElement::SetImages(const QList<QIcon>& images) {
  images_ = images;
  if (!owner_)
    return;
  owner_->images_ = images;
  owner_->ApplyIcons();
  owner_->ItemChanged();
}

void BarElement::PointToScreen(int& x, int& y, const QWidget* window) const {
  if (!window)
    return;
  const QPoint screen = window->mapToGlobal(QPoint(x, y));
  x = screen.x();
  y = screen.y();
}

void BarElement::PopupBar(int x, int y, Bar* bar) {
  if (!bar || !owner_)
    return;
  // The chosen item may close the window; do not touch a control that went with it.
  QPointer<CommandBar> owner = owner_;
  owner->clickSource_ = index_;
  bar->Menu()->exec(QPoint(x, y));
  if (owner)
    owner->clickSource_ = -1;
}

QSize BarElement::sizeHint() const {
  QSize size = QWidget::sizeHint();
  if (!menuRow_) {
    // An empty row still has room for a one-line text box the host puts beside its caption.
    size.setHeight(std::max(size.height(), fontMetrics().height() + 12));
  }
  return size;
}

int BarElement::Height() const {
  return sizeHint().height();
}

void BarElement::Rebuild() {
  if (!owner_)
    return;
  if (menuRow_) {
    menuRow_->clear();  // takes the shared actions off, deletes none
    if (shownBar_) {
      for (BarItem* item : shownBar_->Items())
        menuRow_->addAction(item->Action());
    }
  } else {
    RebuildButtonRow();
  }
  updateGeometry();
}

void BarElement::RebuildButtonRow() {
  for (const QPointer<QWidget>& widget : rowWidgets_) {
    if (!widget)
      continue;
    // A row button may be the sender of the click that changed the bar: delete it later.
    widget->hide();
    layout_->removeWidget(widget);
    widget->deleteLater();
  }
  rowWidgets_.clear();
  if (!shownBar_)
    return;
  int at = 0;
  for (BarItem* item : shownBar_->Items()) {
    QWidget* widget = nullptr;
    if (item->Style() == ItemStyle::Separator) {
      auto* line = new QFrame(this);
      line->setFrameShape(QFrame::VLine);
      line->setFrameShadow(QFrame::Sunken);
      widget = line;
    } else if (item->Style() == ItemStyle::Panel) {
      auto* label = new QLabel(this);
      label->setTextFormat(Qt::PlainText);  // the leading blanks of a caption are kept
      label->setText(item->Caption());
      label->setAccessibleName(item->Caption().trimmed());
      widget = label;
    } else {
      auto* button = new QToolButton(this);
      QAction* action = item->Action();
      button->setAutoRaise(true);
      button->setText(item->Caption());
      button->setIcon(action->icon());
      button->setToolButtonStyle(item->ShowCaption() ? Qt::ToolButtonTextBesideIcon
                                                     : Qt::ToolButtonIconOnly);
      button->setCheckable(action->isCheckable());
      button->setChecked(action->isChecked());
      connect(action, &QAction::toggled, button, &QToolButton::setChecked);
      connect(button, &QToolButton::clicked, this, [this, action] {
        if (!owner_)
          return;
        QPointer<CommandBar> owner = owner_;
        owner->clickSource_ = index_;
        action->trigger();
        if (owner)
          owner->clickSource_ = -1;
      });
      widget = button;
    }
    layout_->insertWidget(at++, widget);
    widget->show();
    widget->lower();  // anything the host placed on the row stays above the row's own widgets
    rowWidgets_.push_back(widget);
  }
}

void BarElement::Detach() {
  if (menuRow_)
    menuRow_->clear();
  shownBar_ = nullptr;
  RebuildButtonRow();
  owner_ = nullptr;
}

// ---- CommandBar

CommandBar::CommandBar(QObject* parent) : QObject(parent) {
  if (QCoreApplication* app = QCoreApplication::instance())
    app->installEventFilter(this);
}

CommandBar::~CommandBar() {
  for (const QPointer<BarElement>& element : elements_) {
    if (element)
      element->Detach();
  }
  items_.clear();  // the actions go before the menus they stand in
  bars_.clear();
}

BarElement* CommandBar::AddElement(ElementAlignment alignment, QWidget* parent) {
  auto* element = new BarElement(*this, ElementCount(), alignment, parent);
  elements_.emplace_back(element);
  // Shortcuts are live wherever an element's window is active.
  for (const auto& item : items_)
    element->addAction(item->Action());
  element->Rebuild();
  return element;
}

BarElement* CommandBar::Element(int index) const {
  if (index < 0 || index >= ElementCount())
    return nullptr;
  return elements_[static_cast<std::size_t>(index)];
}

Bar* CommandBar::AddBar(const QString& key, const QString& title) {
  if (FindBar(key))
    return nullptr;
  bars_.push_back(std::unique_ptr<Bar>(new Bar(*this, key, title)));
  return bars_.back().get();
}

Bar* CommandBar::FindBar(const QString& key) const {
  for (const auto& bar : bars_) {
    if (bar->Key() == key)
      return bar.get();
  }
  return nullptr;
}

BarItem* CommandBar::AddItem(const QString& key, int iconIndex, const QString& caption,
                             ItemStyle style, const QString& toolTip, int shortcutKey,
                             int shortcutModifiers) {
  if (FindItem(key))
    return nullptr;
  items_.push_back(std::unique_ptr<BarItem>(
      new BarItem(*this, key, iconIndex, caption, style, toolTip, shortcutKey, shortcutModifiers)));
  BarItem* item = items_.back().get();
  ApplyIcon(item);
  for (const QPointer<BarElement>& element : elements_) {
    if (element)
      element->addAction(item->Action());
  }
  return item;
}

BarItem* CommandBar::FindItem(const QString& key) const {
  for (const auto& item : items_) {
    if (item->Key() == key)
      return item.get();
  }
  return nullptr;
}

QList<Bar*> CommandBar::AllBars() const {
  QList<Bar*> bars;
  for (const auto& bar : bars_)
    bars.append(bar.get());
  return bars;
}

QList<BarItem*> CommandBar::AllItems() const {
  QList<BarItem*> items;
  for (const auto& item : items_)
    items.append(item.get());
  return items;
}

bool CommandBar::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType())
    return false;
  if (!HostsWindow(static_cast<QWidget*>(watched)->window()))
    return false;
  auto* keyEvent = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods =
      keyEvent->modifiers() &
      (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  const QKeySequence pressed(QKeyCombination(mods, static_cast<Qt::Key>(keyEvent->key())));
  const bool ours = std::any_of(items_.begin(), items_.end(), [&](const auto& item) {
    return !item->Action()->shortcut().isEmpty() && item->Action()->shortcut() == pressed;
  });
  if (!ours)
    return false;
  // The menu's shortcuts come first in the window, as accelerators do: no widget there (the
  // editor binds Ctrl+C, Ctrl+X, Ctrl+L...) may claim the key for itself.
  event->ignore();
  return true;
}

void CommandBar::WatchMenu(QMenu* menu) {
  connect(menu, &QMenu::aboutToShow, this, [this] {
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && !qobject_cast<QMenuBar*>(focus) && !qobject_cast<QMenu*>(focus)) {
      focusBeforeMenu_ = focus;
    }
  });
  // Escape closing a drop-down leaves the menu row holding the keyboard (the next letter or
  // Enter would work the menus); once the menu is gone, and no other has opened, the focus
  // goes back where it was. A command that put it somewhere (a panel's box) keeps it there.
  connect(menu, &QMenu::aboutToHide, this, [this] {
    QTimer::singleShot(0, this, [this] {
      QWidget* focus = QApplication::focusWidget();
      if (QApplication::activePopupWidget() != nullptr ||
          (focus != nullptr && !qobject_cast<QMenuBar*>(focus))) {
        return;
      }
      if (focusBeforeMenu_ && focusBeforeMenu_->isVisible()) {
        focusBeforeMenu_->setFocus(Qt::PopupFocusReason);
      } else if (focus != nullptr) {
        focus->clearFocus();
      }
    });
  });
}

void CommandBar::BarChanged(Bar* bar) {
  bar->RefreshMenu();
  for (const QPointer<BarElement>& element : elements_) {
    if (element && element->ShownBar() == bar)
      element->Rebuild();
  }
}

void CommandBar::ItemChanged() {
  for (const QPointer<BarElement>& element : elements_) {
    if (element)
      element->Rebuild();
  }
}

void CommandBar::ApplyIcons() {
  for (const auto& item : items_)
    ApplyIcon(item.get());
}

void CommandBar::ApplyIcon(BarItem* item) {
  const int index = item->IconIndex();
  item->Action()->setIcon(index >= 0 && index < images_.size() ? images_.at(index) : QIcon());
}

void CommandBar::Triggered(BarItem* item) {
  emit ItemClick(clickSource_ >= 0 ? clickSource_ : MenuRowElement(), item);
}

int CommandBar::MenuRowElement() const {
  for (const QPointer<BarElement>& element : elements_) {
    if (element && element->Alignment() == ElementAlignment::Top)
      return element->Index();
  }
  return 0;
}

bool CommandBar::HostsWindow(const QWidget* window) const {
  return std::any_of(elements_.begin(), elements_.end(), [window](const auto& element) {
    return element && element->window() == window;
  });
}

}  // namespace pelorin
