// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/SurfaceTextEvents.h"

#include <Qsci/qsciscintillabase.h>

#include <algorithm>
#include <limits>
#include <string_view>

#include "editor/TextRange.h"

namespace pelorin {

namespace {

using Sci = QsciScintillaBase;

SurfaceTextEvents::Dispatcher& InstalledDispatcher() {
  static SurfaceTextEvents::Dispatcher dispatcher;
  return dispatcher;
}

// Every live tracker, so a dispatcher set later reaches the surfaces already there.
std::vector<SurfaceTextEvents*>& Trackers() {
  static std::vector<SurfaceTextEvents*> trackers;
  return trackers;
}

int ClampToInt(std::int64_t value) {
  return static_cast<int>(std::clamp<std::int64_t>(value, 0, std::numeric_limits<int>::max()));
}

}  // namespace

SurfaceTextEvents::SurfaceTextEvents(QsciScintillaBase& surface)
    : QObject(&surface),
      surface_(surface),
      index_([&surface](std::int64_t from, std::int64_t length) {
        // The whole text in one piece: Scintilla moves its gap to the end, where a console's
        // edits are, so this costs what was typed after the caret at most.
        const auto* text =
            static_cast<const char*>(surface.SendScintillaPtrResult(Sci::SCI_GETCHARACTERPOINTER));
        return std::string_view(text + from, static_cast<std::size_t>(length));
      }) {
  flush_.setSingleShot(true);
  flush_.setInterval(0);
  connect(&flush_, &QTimer::timeout, this, &SurfaceTextEvents::Flush);
  Trackers().push_back(this);
  QAccessible::installActivationObserver(this);
  if (Listening()) {
    Track(true);
  }
}

SurfaceTextEvents::~SurfaceTextEvents() {
  QAccessible::removeActivationObserver(this);
  auto& trackers = Trackers();
  trackers.erase(std::remove(trackers.begin(), trackers.end(), this), trackers.end());
}

void SurfaceTextEvents::SetDispatcher(Dispatcher dispatcher) {
  InstalledDispatcher() = std::move(dispatcher);
  for (SurfaceTextEvents* tracker : Trackers()) {
    tracker->Track(tracker->Listening());
  }
}

bool SurfaceTextEvents::Listening() const {
  return InstalledDispatcher() || QAccessible::isActive();
}

void SurfaceTextEvents::accessibilityActiveChanged(bool active) {
  Track(active || InstalledDispatcher());
}

void SurfaceTextEvents::Track(bool on) {
  if (on == tracking_) {
    return;
  }
  tracking_ = on;
  for (const QMetaObject::Connection& c : connections_) {
    disconnect(c);
  }
  connections_.clear();
  pending_ = {};
  changes_.clear();
  caretOffset_ = -1;
  selectionStart_ = selectionEnd_ = 0;
  index_.Changed(0);  // nothing seen while off can be trusted
  surface_.SendScintilla(Sci::SCI_SETMODEVENTMASK,
                         on ? Sci::SC_MOD_BEFOREINSERT | Sci::SC_MOD_BEFOREDELETE : 0);
  if (!on) {
    return;
  }
  connections_.push_back(
      connect(&surface_, &Sci::SCN_MODIFIED, this,
              [this](int position, int type, const char*, int length, int, int, int, int, int,
                     int) { OnModified(position, type, length); }));
  // Scintilla reports caret and selection changes when it paints; keys and clicks report too.
  connections_.push_back(connect(&surface_, &Sci::SCN_UPDATEUI, this, [this] { Touch(); }));
}

long SurfaceTextEvents::Length() const {
  return surface_.SendScintilla(Sci::SCI_GETLENGTH);
}

int SurfaceTextEvents::Offset(long position) {
  Track(true);  // asked: from now on every edit is seen
  return ClampToInt(index_.UnitsBefore(position, Length()));
}

long SurfaceTextEvents::Position(int offset) {
  Track(true);
  return static_cast<long>(index_.PositionOf(offset, Length()));
}

int SurfaceTextEvents::CharacterCount() {
  const long length = Length();
  return Offset(length);
}

QString SurfaceTextEvents::TextBetween(long from, long to) const {
  return QString::fromStdString(TextRange(surface_, from, to));
}

void SurfaceTextEvents::Touch() {
  if (tracking_ && !flush_.isActive()) {
    flush_.start();
  }
}

// Sent before the change: the document still holds what it held, and every insertion reported
// earlier is in it by now.
void SurfaceTextEvents::OnModified(int position, int type, int length) {
  const bool inserting = (type & Sci::SC_MOD_BEFOREINSERT) != 0;
  if (!inserting && (type & Sci::SC_MOD_BEFOREDELETE) == 0) {
    return;
  }
  const bool listening = Listening();
  if (inserting && pending_.length > 0 && position == pending_.position + pending_.length) {
    pending_.length += length;  // typing on, or a tick appending its parts: one event
  } else {
    ResolvePending();
    if (listening && inserting) {
      pending_ = {position, length, Offset(position)};
    } else if (listening && length <= kMaxDescribedRemoval) {
      changes_.push_back({false, Offset(position), TextBetween(position, position + length)});
    }
  }
  index_.Changed(position);
  Touch();
}

void SurfaceTextEvents::ResolvePending() {
  if (pending_.length > 0) {
    changes_.push_back({true, pending_.offset,
                        TextBetween(pending_.position, pending_.position + pending_.length)});
  }
  pending_ = {};
}

void SurfaceTextEvents::Raise(QAccessibleEvent& event) {
  if (const Dispatcher& dispatcher = InstalledDispatcher()) {
    dispatcher(&event);
  } else if (QAccessible::isActive()) {
    QAccessible::updateAccessibility(&event);
  }
}

void SurfaceTextEvents::Flush() {
  ResolvePending();
  if (!Listening()) {
    changes_.clear();
    return;
  }
  // Taken first: a handler may ask the surface for more, and nothing it does is lost.
  const std::vector<Change> changes = std::move(changes_);
  changes_.clear();
  for (const Change& change : changes) {
    if (change.inserted) {
      QAccessibleTextInsertEvent event(&surface_, change.offset, change.text);
      Raise(event);
    } else {
      QAccessibleTextRemoveEvent event(&surface_, change.offset, change.text);
      Raise(event);
    }
  }
  const long caret = surface_.SendScintilla(Sci::SCI_GETCURRENTPOS);
  const long anchor = surface_.SendScintilla(Sci::SCI_GETANCHOR);
  const int caretOffset = Offset(caret);
  const int anchorOffset = anchor == caret ? caretOffset : Offset(anchor);
  const int start = std::min(caretOffset, anchorOffset);
  const int end = std::max(caretOffset, anchorOffset);
  // A caret move without a selection is no selection change.
  if ((start != end || selectionStart_ != selectionEnd_) &&
      (start != selectionStart_ || end != selectionEnd_)) {
    selectionStart_ = start;
    selectionEnd_ = end;
    QAccessibleTextSelectionEvent event(&surface_, start, end);
    event.setCursorPosition(caretOffset);
    Raise(event);
  }
  if (caretOffset != caretOffset_) {
    caretOffset_ = caretOffset;
    QAccessibleTextCursorEvent event(&surface_, caretOffset);
    Raise(event);
  }
}

}  // namespace pelorin
