// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ConsoleSurface.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QAccessible>
#include <QColor>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <algorithm>
#include <memory>

#include "editor/EditorEvents.h"
#include "editor/SurfaceAccessible.h"
#include "editor/SurfaceTextEvents.h"
#include "qtsupport/InputCodes.h"

namespace pelorin {

namespace {

constexpr Qt::KeyboardModifiers kChordModifiers =
    Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// With Ctrl or Alt held a key is a chord, not typing. Ctrl+Alt is also how Windows reports
// AltGr, which types characters such as @ or €: those are kept, unless the text is just the
// key's own letter (Ctrl+Alt+D).
bool IsChordWithoutText(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & kChordModifiers;
  if (!mods) {
    return false;
  }
  if (mods != (Qt::ControlModifier | Qt::AltModifier)) {
    return true;
  }
  const QString text = e->text();
  return text.size() == 1 && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z &&
         text.at(0).toUpper().unicode() == e->key();
}

// A key the input line may take from the surface: Up, Down and Tab alone, and Shift+Tab.
// Shift+Up and Shift+Down keep selecting.
bool IsLineKey(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & (kChordModifiers | Qt::ShiftModifier);
  switch (e->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Tab:
      return !mods;
    case Qt::Key_Backtab:
      return !(mods & kChordModifiers);
    default:
      return false;
  }
}

// The keyboard's right click: the Menu key, or Shift+F10.
bool IsMenuKey(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods = e->modifiers() & (kChordModifiers | Qt::ShiftModifier);
  return (e->key() == Qt::Key_Menu && !mods) ||
         (e->key() == Qt::Key_F10 && mods == Qt::ShiftModifier);
}

}  // namespace

ConsoleSurface::ConsoleSurface(QWidget* owner) : QsciScintilla(owner), owner_(owner) {
  // QScintilla's own accessibility object counts the characters from the start of the document
  // on every caret move and every change. Factories are asked for the most derived class first,
  // so this one wins over QScintilla's.
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(SurfaceAccessible::Factory);
    return true;
  }();
  Q_UNUSED(factoryInstalled);
  UseLeanDocument();
  // Document settings: they belong to the document, so they follow the swap above.
  Send(SCI_SETCODEPAGE, SC_CP_UTF8);
  Send(SCI_SETEOLMODE, SC_EOL_LF);
  Send(SCI_SETUNDOCOLLECTION, 0);
  Send(SCI_EMPTYUNDOBUFFER);
  Send(SCI_SETTABWIDTH, 8);
  // QScintilla answers every modification notification by counting characters from the start
  // of the document; with them on, an append costs more the longer the history is.
  // SurfaceTextEvents turns on the few it needs while an assistive technology listens.
  Send(SCI_SETMODEVENTMASK, 0);
  textEvents_ = new SurfaceTextEvents(*this);
  setAccessibleName(QStringLiteral("Console"));

  Send(SCI_SETWRAPMODE, SC_WRAP_NONE);
  // Keep the laid-out lines of the visible page: by default only the caret's line is kept, and
  // every repaint after an append lays out each visible line again (with long lines on the page
  // that took over 200 ms a repaint; kept, about 20 ms).
  Send(SCI_SETLAYOUTCACHE, SC_CACHE_PAGE);
  Send(SCI_SETSCROLLWIDTH, 1);
  Send(SCI_SETSCROLLWIDTHTRACKING, 1);
  Send(SCI_SETCARETSTYLE, CARETSTYLE_LINE);
  Send(SCI_SETCARETWIDTH, 2);
  Send(SCI_SETVIEWWS, SCWS_INVISIBLE);
  Send(SCI_SETMULTIPLESELECTION, 0);
  Send(SCI_SETPASTECONVERTENDINGS, 1);

  SetUpMargins();
  SetUpColours();
  ReduceKeyMap();
  // Zooming (Ctrl+wheel, Ctrl+plus) changes the digits' width.
  connect(this, &QsciScintillaBase::SCN_ZOOM, this, [this] { RefreshNumberMargin(true); });
  viewport()->setAcceptDrops(false);
  setAcceptDrops(false);
  viewport()->setMouseTracking(true);  // a link under the pointer is underlined while Ctrl is held
}

long ConsoleSurface::Send(unsigned msg, uintptr_t wparam, intptr_t lparam) const {
  return SendScintilla(msg, static_cast<unsigned long>(wparam), static_cast<long>(lparam));
}

void ConsoleSurface::UseLeanDocument() {
  // No lexer styles this text, yet a default document keeps a style byte beside every
  // character: half the memory of a long history. The handle is a pointer passed through
  // `long`, which only holds one where long is pointer-sized.
  if constexpr (sizeof(long) >= sizeof(void*)) {
    const long lean = Send(SCI_CREATEDOCUMENT, 0, SC_DOCUMENTOPTION_STYLES_NONE);
    if (lean != 0) {
      Send(SCI_SETDOCPOINTER, 0, lean);
      Send(SCI_RELEASEDOCUMENT, 0, lean);  // the editor holds the one reference now
    }
  }
}

void ConsoleSurface::ReduceKeyMap() {
  // Editing that would bypass the console's rules (cut, undo, whole-line edits) and the
  // clipboard commands, which the owner reaches through RunEditorCommand.
  static constexpr QsciCommand::Command kRemoved[] = {
      QsciCommand::Undo,
      QsciCommand::Redo,
      QsciCommand::SelectionCut,
      QsciCommand::SelectionCopy,
      QsciCommand::Paste,
      QsciCommand::SelectAll,
      QsciCommand::LineCut,
      QsciCommand::LineCopy,
      QsciCommand::LineDelete,
      QsciCommand::LineTranspose,
      QsciCommand::LineDuplicate,
      QsciCommand::SelectionDuplicate,
      QsciCommand::SelectionLowerCase,
      QsciCommand::SelectionUpperCase,
      QsciCommand::MoveSelectedLinesUp,
      QsciCommand::MoveSelectedLinesDown,
      QsciCommand::ReverseLines,
  };
  for (QsciCommand* cmd : standardCommands()->commands()) {
    if (std::find(std::begin(kRemoved), std::end(kRemoved), cmd->command()) != std::end(kRemoved)) {
      cmd->setKey(0);
      cmd->setAlternateKey(0);
    }
  }
}

void ConsoleSurface::SetUpMargins() {
  Send(SCI_SETMARGINTYPEN, kNumberMargin, SC_MARGIN_NUMBER);
  Send(SCI_SETMARGINMASKN, kNumberMargin, 0);
  Send(SCI_SETMARGINTYPEN, kSymbolMargin, SC_MARGIN_SYMBOL);
  // Only the mark lives in the margin; the divider and the highlight are drawn in the text area,
  // which Scintilla does only for markers no visible margin shows.
  Send(SCI_SETMARGINMASKN, kSymbolMargin, (1u << kMarkMarker) | (1u << kFailureMarker));
  Send(SCI_SETMARGINWIDTHN, kSymbolMargin, 16);
  for (int margin = 2; margin < 5; ++margin) {
    Send(SCI_SETMARGINWIDTHN, margin, 0);
  }

  Send(SCI_MARKERDEFINE, kMarkMarker, SC_MARK_BOOKMARK);
  SendScintilla(SCI_MARKERSETFORE, kMarkMarker, QColor(0x10, 0x3a, 0x8c));
  SendScintilla(SCI_MARKERSETBACK, kMarkMarker, QColor(0x3d, 0x7c, 0xf0));
  Send(SCI_MARKERDEFINE, kDividerMarker, SC_MARK_UNDERLINE);
  SendScintilla(SCI_MARKERSETBACK, kDividerMarker, QColor(0x80, 0x20, 0x20));
  Send(SCI_MARKERDEFINE, kHighlightMarker, SC_MARK_BACKGROUND);
  SendScintilla(SCI_MARKERSETBACK, kHighlightMarker, QColor(0xff, 0xf4, 0xb8));
  Send(SCI_MARKERDEFINE, kSoftBreakMarker, SC_MARK_EMPTY);
  Send(SCI_MARKERDEFINE, kFailureMarker, SC_MARK_CIRCLE);
  SendScintilla(SCI_MARKERSETFORE, kFailureMarker, QColor(0x8c, 0x10, 0x10));
  SendScintilla(SCI_MARKERSETBACK, kFailureMarker, QColor(0xd8, 0x30, 0x30));
  RefreshNumberMargin(true);
}

void ConsoleSurface::SetUpColours() {
  // Each filled range carries its own colour as its value; SC_INDICFLAG_VALUEBEFORE is
  // QScintilla 2.13's name for Scintilla's SC_INDICFLAG_VALUEFORE.
  Send(SCI_INDICSETSTYLE, kForeIndicator, INDIC_TEXTFORE);
  Send(SCI_INDICSETFLAGS, kForeIndicator, SC_INDICFLAG_VALUEBEFORE);
  Send(SCI_INDICSETSTYLE, kBackIndicator, INDIC_FULLBOX);
  Send(SCI_INDICSETFLAGS, kBackIndicator, SC_INDICFLAG_VALUEBEFORE);
  Send(SCI_INDICSETALPHA, kBackIndicator, 255);
  Send(SCI_INDICSETOUTLINEALPHA, kBackIndicator, 255);
  Send(SCI_INDICSETUNDER, kBackIndicator, 1);  // an opaque box over the text would hide it
  Send(SCI_INDICSETSTYLE, kLinkIndicator, INDIC_PLAIN);
  SendScintilla(SCI_INDICSETFORE, kLinkIndicator, QColor(0x1a, 0x5f, 0xb4));
}

void ConsoleSurface::RefreshNumberMargin(bool force) {
  if (!numbersShown_) {
    return;
  }
  int digits = 1;
  for (long lines = Send(SCI_GETLINECOUNT); lines >= 10; lines /= 10) {
    ++digits;
  }
  digits = std::max(digits, 3);  // no width change for the first hundreds of lines
  if (!force && digits == numberDigits_) {
    return;
  }
  numberDigits_ = digits;
  const QByteArray sample(digits + 1, '9');  // one digit's width of padding
  const long width =
      SendScintilla(SCI_TEXTWIDTH, static_cast<uintptr_t>(STYLE_LINENUMBER), sample.constData());
  Send(SCI_SETMARGINWIDTHN, kNumberMargin, width);
}

void ConsoleSurface::SetNumberMarginShown(bool on) {
  numbersShown_ = on;
  if (on) {
    RefreshNumberMargin(true);
  } else {
    Send(SCI_SETMARGINWIDTHN, kNumberMargin, 0);
  }
}

bool ConsoleSurface::event(QEvent* e) {
  // QsciScintilla claims every key it has a binding for, before the window's shortcuts see it.
  // Chords belong to the menus: let them through, and take the key press only if no shortcut
  // wanted it.
  if (e->type() == QEvent::ShortcutOverride) {
    auto* ke = static_cast<QKeyEvent*>(e);
    if (ke->modifiers() & kChordModifiers) {
      ke->ignore();
      return false;
    }
  }
  return QsciScintilla::event(e);
}

void ConsoleSurface::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control) {
    ShowLinkAt(viewport()->mapFromGlobal(QCursor::pos()), true);
  }
  if (ZoomKey(e)) {
    e->accept();
    return;
  }
  if (sink_ &&
      (sink_->TypedKey(e->key(), static_cast<int>(e->modifiers()), e->text().toStdString()) ||
       sink_->BeforeKey() || sink_->InputKey(*e))) {
    e->accept();  // the owner took the key
    RefreshNumberMargin();
    sink_->AfterKey();
    return;
  }
  const int key = e->key();
  if (isListActive()) {
    // The list of choices takes Enter, Tab, Escape and the arrows itself.
    QsciScintilla::keyPressEvent(e);
  } else if (IsLineKey(e) && sink_ && sink_->LineKey(key)) {
    e->accept();
  } else if (IsMenuKey(e)) {
    MenuAtCaret();
    e->accept();
  } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    // What Enter means is the owner's business: a line break only where the owner declines it.
    if (isReadOnly() || (sink_ && sink_->EnterPressed())) {
      e->accept();
    } else {
      QsciScintilla::keyPressEvent(e);
    }
  } else if (IsChordWithoutText(e)) {
    // A chord with no binding must not fall through to typing its letter.
    QKeyEvent bare(e->type(), key, e->modifiers(), e->nativeScanCode(), e->nativeVirtualKey(),
                   e->nativeModifiers(), QString(), e->isAutoRepeat(),
                   static_cast<quint16>(e->count()));
    QsciScintilla::keyPressEvent(&bare);
    e->setAccepted(bare.isAccepted());
  } else {
    QsciScintilla::keyPressEvent(e);
  }
  RefreshNumberMargin();
  if (sink_) {
    sink_->AfterKey();
  }
  textEvents_->Touch();
}

void ConsoleSurface::CaretPlaced() {
  if (sink_) {
    sink_->CaretPlaced();
  }
}

void ConsoleSurface::keyReleaseEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Control) {
    ShowLink(-1, 0, 0);
  }
  QsciScintilla::keyReleaseEvent(e);
}

void ConsoleSurface::leaveEvent(QEvent* e) {
  ShowLink(-1, 0, 0);
  QsciScintilla::leaveEvent(e);
}

void ConsoleSurface::focusInEvent(QFocusEvent* e) {
  QsciScintilla::focusInEvent(e);
  if (sink_) {
    sink_->FocusGained();
  }
}

long ConsoleSurface::PositionAt(const QPoint& viewportPos) const {
  return Send(SCI_POSITIONFROMPOINT, static_cast<uintptr_t>(std::max(viewportPos.x(), 0)),
              std::max(viewportPos.y(), 0));
}

bool ConsoleSurface::InSelection(long pos) const {
  const long start = Send(SCI_GETSELECTIONSTART);
  const long end = Send(SCI_GETSELECTIONEND);
  return start != end && pos >= start && pos <= end;
}

void ConsoleSurface::mousePressEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton && (e->modifiers() & kChordModifiers) == Qt::ControlModifier &&
      sink_) {
    const auto [line, byte] = LineAndByteAt(e->position().toPoint());
    if (line >= 0 && sink_->LinkClicked(line, byte)) {
      ShowLink(-1, 0, 0);
      e->accept();
      return;
    }
  }
  const long pos = PositionAt(e->position().toPoint());
  pressInSelection_ = false;
  switch (e->button()) {
    case Qt::LeftButton:
      pressInSelection_ =
          !(e->modifiers() & (Qt::ShiftModifier | kChordModifiers)) && InSelection(pos);
      break;
    case Qt::RightButton:
      // The context menu acts on the clicked line; a click inside the selection keeps it.
      if (!InSelection(pos)) {
        Send(SCI_SETEMPTYSELECTION, static_cast<uintptr_t>(pos));
      }
      break;
    case Qt::MiddleButton:
      // Pasting the primary selection is typing: only on the input line of a writable surface.
      Send(SCI_SETEMPTYSELECTION, static_cast<uintptr_t>(pos));
      if (isReadOnly() || (inputStart_ && pos < inputStart_()) ||
          Send(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(pos)) != Send(SCI_GETLINECOUNT) - 1) {
        setFocus(Qt::MouseFocusReason);
        e->accept();
        return;
      }
      break;
    default:
      break;
  }
  QsciScintilla::mousePressEvent(e);
}

void ConsoleSurface::mouseMoveEvent(QMouseEvent* e) {
  if (e->buttons() == Qt::NoButton) {
    ShowLinkAt(e->position().toPoint(), (e->modifiers() & Qt::ControlModifier) != 0);
  }
  if (pressInSelection_ && (e->buttons() & Qt::LeftButton)) {
    e->accept();
    return;
  }
  QsciScintilla::mouseMoveEvent(e);
}

void ConsoleSurface::mouseReleaseEvent(QMouseEvent* e) {
  QsciScintilla::mouseReleaseEvent(e);
  textEvents_->Touch();
  RefreshNumberMargin();  // a middle-button paste may have added lines
  if (e->button() == Qt::LeftButton) {
    pressInSelection_ = false;
  }
  const int button = ButtonCode(e->button());
  if (button == 0) {
    return;
  }
  // Reported in the owner's coordinates: WindowHandle of the editor is the owner.
  const QPoint at = viewport()->mapTo(owner_, e->position().toPoint());
  const bool handled =
      sink_ && sink_->MouseClick(button, ShiftCode(e->modifiers()), at.x(), at.y());
  if (!handled && button == kRightButton) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    menu->exec(e->globalPosition().toPoint());
  }
}

// Reported as a right click just below the caret (kept inside the view), the way a click there
// would be, so the owner shows the same menu.
void ConsoleSurface::MenuAtCaret() {
  const long pos = Send(SCI_GETCURRENTPOS);
  const long line = Send(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(pos));
  const QRect view = viewport()->rect();
  const QPoint below(static_cast<int>(Send(SCI_POINTXFROMPOSITION, 0, pos)),
                     static_cast<int>(Send(SCI_POINTYFROMPOSITION, 0, pos) +
                                      Send(SCI_TEXTHEIGHT, static_cast<uintptr_t>(line))));
  const QPoint inView(std::clamp(below.x(), 0, std::max(view.right(), 0)),
                      std::clamp(below.y(), 0, std::max(view.bottom(), 0)));
  const QPoint at = viewport()->mapTo(owner_, inView);
  if (!sink_ || !sink_->MouseClick(kRightButton, 0, at.x(), at.y())) {
    const std::unique_ptr<QMenu> menu(createStandardContextMenu());
    menu->exec(viewport()->mapToGlobal(inView));
  }
}

void ConsoleSurface::contextMenuEvent(QContextMenuEvent* e) {
  // The menu of a right click is decided at its release, by the owner's answer to MouseClick.
  e->accept();
}

// Dropping text is an edit the console rules never see (it can land on any line): refused.
void ConsoleSurface::dragEnterEvent(QDragEnterEvent* e) {
  e->ignore();
}
void ConsoleSurface::dragMoveEvent(QDragMoveEvent* e) {
  e->ignore();
}
void ConsoleSurface::dropEvent(QDropEvent* e) {
  e->ignore();
}

}  // namespace pelorin
