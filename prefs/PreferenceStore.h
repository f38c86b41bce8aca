// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's stored values under HKEY_CURRENT_USER\Software\Pelorin: the six preferences
// and the main window's state and placement (in twips, outer frame).

#include <QString>
#include <QtGlobal>
#include <chrono>
#include <functional>
#include <memory>

#include "prefs/Preferences.h"

class QMessageBox;
class QWidget;

namespace pelorin {

// The one message box of the store: "Unable to create registry key.", OK only, no icon.
std::unique_ptr<QMessageBox> MakeCreateKeyFailureBox(QWidget* parent);
// What the store tells its user once (a file moved aside, a store refused): the text, OK only.
std::unique_ptr<QMessageBox> MakeStoreNoticeBox(QWidget* parent, const QString& text);

class PreferenceStore {
 public:
  // parent: the window the message box belongs to (may be null).
  explicit PreferenceStore(QWidget* parent = nullptr);

  // Shown when a save finds no key and cannot create it. Replaceable, for tests.
  std::function<void()> ShowCreateKeyFailure;
  // Shown once for what the store did or refused (a file moved aside, and where; a store it
  // will not use, and why), after the reading or saving that met it. Replaceable, for tests.
  std::function<void(const QString&)> ShowStoreNotice;

  // Each operation below waits for a store another process holds at most this long, all its
  // reads or writes together, and then goes on without what it could not read or write.
  static constexpr std::chrono::milliseconds kStoreWait{500};

  // Reads every value at once: applies the window state and, when normal, the placement
  // (brought back onto the nearest screen when it would lie off every screen; a size too small
  // to use counts as absent); returns the preferences, each one falling back to its default
  // when absent, unreadable or out of range.
  Preferences GetPrefsFromReg(QWidget& window);

  // Each one creates the key first if needed (the message box when that fails); a failed
  // write is silent.
  void SavePrefCurDir();  // the process's current directory
  void SavePrefLineNumbering(bool shown);
  void SavePrefVisibleSpaces(bool visible);
  void SavePrefHighlight(bool on);
  void SavePrefFont(const QString& name, qint16 size);
  void SavePrefDesktopColours(bool on);
  void SavePrefZoom(int level);

  // The close-time saving: "WindowState" (0 normal, 1 minimized, 2 maximized) and, in the
  // normal state only, the four placement values, written in one go: whole or not at all.
  void SaveWindowPlacement(const QWidget& window);

 private:
  template <typename Write>
  void Save(Write write);
  bool EnsureKey();
  void TellStoreNotice();
};

}  // namespace pelorin
