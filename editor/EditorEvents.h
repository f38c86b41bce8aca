#pragma once

// What the console surface reports to its owner. The owner decides; a true result from
// MouseClick or EnterPressed makes the surface skip its own handling of that event.

namespace pelorin {

class EditorEvents {
 public:
  virtual ~EditorEvents() = default;

  virtual void FocusGained() {}
  // A key arrives, before the surface acts on it.
  virtual bool BeforeKey() { return false; }
  // After the surface acted on a key.
  virtual bool AfterKey() { return false; }
  // A click once the caret is placed. button: 1 left, 2 right, 4 middle; shift: 1 Shift, 2 Ctrl,
  // 4 Alt; x and y in pixels of the surface.
  virtual bool MouseClick(int /*button*/, int /*shift*/, int /*x*/, int /*y*/) { return false; }
  // Enter while the surface is writable, before any line break would be typed.
  virtual bool EnterPressed() { return true; }
};

}  // namespace pelorin
