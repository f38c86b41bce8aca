// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the console surface reports to its owner. The owner decides: a true result from
// BeforeKey, MouseClick or EnterPressed makes the surface skip its own handling of the event
// (the key, the menu of a right click, the line break of Enter).

#include <cstddef>
#include <string>
#include <utility>

class QKeyEvent;

namespace pelorin {

class EditorEvents {
 public:
  virtual ~EditorEvents() = default;

  virtual void FocusGained() {}
  // A key arrives, before BeforeKey: its Qt key, its Qt modifiers and the text it types (UTF-8).
  // True: the owner took it and the surface does nothing with it.
  virtual bool TypedKey(int /*qtKey*/, int /*modifiers*/, const std::string& /*text*/) {
    return false;
  }
  // Text was pasted into the surface.
  virtual void Pasted() {}
  // A key arrives, before the surface acts on it. True: the surface leaves it alone.
  virtual bool BeforeKey() { return false; }
  // Every key, after BeforeKey and before the surface (or a list of choices it shows) acts on
  // it. True: the owner took it and the surface leaves it alone.
  virtual bool InputKey(const QKeyEvent& /*key*/) { return false; }
  // Up, Down, Tab or Shift+Tab without Ctrl, Alt or Meta, after InputKey and before the
  // surface acts on it. True: the owner took it and the surface leaves it alone.
  virtual bool LineKey(int /*qtKey*/) { return false; }
  // After the surface acted on a key; the result is not used.
  virtual bool AfterKey() { return false; }
  // A click once the caret is placed. button and shift are codes of qtsupport/InputCodes.h; x
  // and y in pixels of the surface. True for a right click: the surface shows no menu of its own.
  virtual bool MouseClick(int /*button*/, int /*shift*/, int /*x*/, int /*y*/) { return false; }
  // Enter while the surface is writable. True: the surface types no line break.
  virtual bool EnterPressed() { return true; }
  // The caret or the selection was placed by something other than a key or a click (an
  // assistive technology).
  virtual void CaretPlaced() {}
  // With Ctrl held the mouse is over byte of line: the bytes [first, second) of that line that
  // a Ctrl+click would open; first == second for none.
  virtual std::pair<std::size_t, std::size_t> LinkAt(int /*line*/, std::size_t /*byte*/) {
    return {0, 0};
  }
  // A Ctrl+click on byte of line. True: a link was there and is taken; the surface neither moves
  // the caret nor selects.
  virtual bool LinkClicked(int /*line*/, std::size_t /*byte*/) { return false; }
};

}  // namespace pelorin
