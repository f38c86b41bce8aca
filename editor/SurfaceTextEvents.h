// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What an assistive technology learns of the console surface's text: character offsets (UTF-16
// code units, as Qt counts them) for Scintilla's byte positions, and the events that say what
// changed: text inserted (new output, the new prompt, typing), text removed, the caret moved, the
// selection changed.
//
// All of it runs only while someone listens (QAccessible::isActive(), or a dispatcher of a test or
// benchmark) or asks (the surface's accessible interface wants an offset). Until then the surface
// keeps Scintilla's modification notifications off, and nothing here costs anything. While on, it
// asks Scintilla only for the notifications sent *before* an insertion or a deletion: those carry
// no text, so QScintilla's own accessibility hook (which counts characters from the start of the
// document on every change) stays idle. Each edit costs what it changes; the events go out at
// the next turn of the event loop, in the order the edits happened.

#include <QAccessible>
#include <QObject>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <vector>

#include "editor/CodeUnitIndex.h"

class QsciScintillaBase;

namespace pelorin {

class SurfaceTextEvents : public QObject, private QAccessible::ActivationObserver {
  Q_OBJECT

 public:
  explicit SurfaceTextEvents(QsciScintillaBase& surface);
  ~SurfaceTextEvents() override;

  // Where the events go: Qt's accessibility bridge unless a handler is set. A benchmark or a
  // test sets one to take the events as an assistive technology would; every surface then
  // tracks its text as while a screen reader listens. An empty handler restores the bridge.
  using Dispatcher = std::function<void(QAccessibleEvent*)>;
  static void SetDispatcher(Dispatcher dispatcher);
  // Hands an event of the surface or its parts to whoever listens; nothing when nobody does.
  static void Raise(QAccessibleEvent& event);

  // Offsets count UTF-16 code units from the start of the document; positions are Scintilla's
  // byte positions. Out-of-range values are clamped.
  int Offset(long position);
  long Position(int offset);
  int CharacterCount();

  // The caret or the selection may have moved: checked at the next turn of the event loop.
  void Touch();

  // Deletions larger than this are not described to the assistive technology (a clear of a long
  // history would otherwise hand it the whole history, megabytes, in one event); the caret event
  // that follows still tells where the text stands.
  static constexpr long kMaxDescribedRemoval = 1L << 20;

 private:
  void accessibilityActiveChanged(bool active) override;
  bool Listening() const;
  void Track(bool on);
  void OnModified(int position, int type, int length);
  void ResolvePending();
  void Flush();
  QString TextBetween(long from, long to) const;
  long Length() const;

  struct Change {
    bool inserted;
    int offset;
    QString text;
  };
  // An insertion whose text is read once it is in the document: at the next edit or flush.
  struct PendingInsert {
    long position = 0;
    long length = 0;
    int offset = 0;
  };

  QsciScintillaBase& surface_;
  CodeUnitIndex index_;
  bool tracking_ = false;
  QTimer flush_;
  PendingInsert pending_;
  std::vector<Change> changes_;
  int caretOffset_ = -1;
  int selectionStart_ = 0;
  int selectionEnd_ = 0;
  std::vector<QMetaObject::Connection> connections_;
};

}  // namespace pelorin
