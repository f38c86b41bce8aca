// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ConsoleSurface.h"

#include <Qsci/qscicommand.h>
#include <Qsci/qscicommandset.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QColor>
#include <QContextMenuEvent>
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

// QScintilla's accessibility object answers every caret move by counting the characters from
// the start of the document: 0.6 s per key or output tick at a million lines. The surface gets a
// plain accessible widget instead (role, name, geometry; no text interface). Factories are asked
// for the most derived class first, so this one wins over QScintilla's.
QAccessibleInterface* PlainAccessible(const QString& className, QObject* object) {
  if (object && object->isWidgetType() &&
      className == QLatin1String(ConsoleSurface::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::EditableText);
  }
  return nullptr;
}

}  // namespace

ConsoleSurface::ConsoleSurface(QWidget* owner) : QsciScintilla(owner), owner_(owner) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(PlainAccessible);
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
  Send(SCI_SETMODEVENTMASK, 0);

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
  Send(SCI_SETMARGINMASKN, kSymbolMargin, 1u << kMarkMarker);
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
  if (sink_ &&
      sink_->TypedKey(e->key(), static_cast<int>(e->modifiers()), e->text().toStdString())) {
    e->accept();  // the owner took the key
    sink_->AfterKey();
    return;
  }
  if (sink_ && sink_->BeforeKey()) {
    e->accept();  // the owner took the key
    return;
  }
  const int key = e->key();
  if (isListActive()) {
    // The list of choices takes Enter, Tab, Escape and the arrows itself.
    QsciScintilla::keyPressEvent(e);
  } else if (IsLineKey(e) && sink_ && sink_->LineKey(key)) {
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
  if (pressInSelection_ && (e->buttons() & Qt::LeftButton)) {
    e->accept();
    return;
  }
  QsciScintilla::mouseMoveEvent(e);
}

void ConsoleSurface::mouseReleaseEvent(QMouseEvent* e) {
  QsciScintilla::mouseReleaseEvent(e);
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
