// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's stored values under HKEY_CURRENT_USER\Software\Pelorin: the six preferences
// and the main window's state and placement (in twips, outer frame).

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>

#include "prefs/Preferences.h"

class QMessageBox;
class QWidget;

namespace pelorin {

// The one message box of the store: "Unable to create registry key.", OK only, no icon.
std::unique_ptr<QMessageBox> MakeCreateKeyFailureBox(QWidget* parent);

class PreferenceStore {
 public:
  // parent: the window the message box belongs to (may be null).
  explicit PreferenceStore(QWidget* parent = nullptr);

  // Shown when a save finds no key and cannot create it. Replaceable, for tests.
  std::function<void()> ShowCreateKeyFailure;

  // Reads every value: applies the window state and, when normal, the placement (brought back
  // onto the nearest screen when it would lie off every screen); returns the six preferences,
  // each one falling back to its default when absent or unreadable.
  Preferences GetPrefsFromReg(QWidget& window);

  // Each one creates the key first if needed (the message box when that fails); a failed
  // write is silent.
  void SavePrefCurDir();  // the process's current directory
  void SavePrefLineNumbering(bool shown);
  void SavePrefVisibleSpaces(bool visible);
  void SavePrefHighlight(bool on);
  void SavePrefFont(const QString& name, qint16 size);

  // The close-time saving: "WindowState" (0 normal, 1 minimized, 2 maximized) and, in the
  // normal state only, the four placement values. The key is neither tested nor created.
  void SaveWindowPlacement(const QWidget& window);

 private:
  bool EnsureKey();
};

}  // namespace pelorin
