// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/PendingInput.h"

#include <Qt>

#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"

namespace pelorin {

PendingInput::PendingInput(ConsoleEditor& editor, ConsoleSession& session)
    : editor_(editor), session_(session) {}

bool PendingInput::Writable() const {
  return session_.bBusy() && editor_.InputActive() && !editor_.InputHidden() &&
         editor_.SelectionInInput();
}

bool PendingInput::TakesEndOfInput() const {
  return session_.bBusy() && editor_.InputActive() && editor_.CaretAtInputStart() &&
         editor_.InputText().empty();
}

void PendingInput::Refresh() {
  if (!session_.bBusy() || !editor_.InputActive()) {
    return;
  }
  if (!editor_.InputHidden() && session_.InputHidden(editor_.LineBeforeInput())) {
    editor_.HideInput();
  }
  while (editor_.InputHasLineEnd()) {
    Send();
  }
}

void PendingInput::Send() {
  const bool hidden = editor_.InputHidden();
  session_.SendInput(editor_.TakeInputLine(), !hidden);
}

bool PendingInput::Key(int qtKey, int modifiers, const std::string& text) {
  if (!session_.bBusy() || !editor_.InputActive()) {
    return false;
  }
  Refresh();
  const bool ctrl = (modifiers & Qt::ControlModifier) != 0;
  // AltGr, which Windows reports as Ctrl+Alt, types text; other chords do not.
  const int altGr = Qt::ControlModifier | Qt::AltModifier;
  const int chords = modifiers & (altGr | Qt::MetaModifier);
  const bool chord = chords != 0 && chords != altGr;
  const bool inInput = editor_.SelectionInInput();
  switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      if (inInput) {
        Send();
      }
      return true;  // Enter elsewhere does nothing
    case Qt::Key_D:
      if (ctrl && TakesEndOfInput()) {
        session_.EndInput();
        return true;
      }
      return false;
    case Qt::Key_Backspace:
      if (!inInput) {
        return false;
      }
      if (editor_.InputHidden()) {
        editor_.EraseHidden();
        return true;
      }
      if (ctrl) {
        // Word and line erasing stop where the input begins.
        editor_.EraseLeftInInput((modifiers & Qt::ShiftModifier) != 0);
        return true;
      }
      return editor_.CaretAtInputStart();  // nothing before the input is the user's to erase
    default:
      break;
  }
  if (editor_.InputHidden() && inInput && !chord && !text.empty() &&
      static_cast<unsigned char>(text[0]) >= 0x20 && text[0] != '\x7f') {
    editor_.TypeHidden(text);
    return true;
  }
  return false;
}

}  // namespace pelorin
