// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/PreferenceStore.h"

#include <QMessageBox>
#include <QWidget>
#include <limits>
#include <optional>

#include "platform/Directory.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"

namespace pelorin {

namespace {

constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKeyPath = "Software\\Pelorin";

std::optional<std::int32_t> ReadNumber(const char* name) {
  TypedValue value;
  if (!Registry::GetValue(kRoot, kKeyPath, name, Registry::kRegDword, value)) {
    return std::nullopt;
  }
  return std::get<std::int32_t>(value);
}

std::optional<QString> ReadText(const char* name) {
  TypedValue value;
  if (!Registry::GetValue(kRoot, kKeyPath, name, Registry::kRegSz, value)) {
    return std::nullopt;
  }
  return QString::fromStdString(std::get<std::string>(value));
}

// Failed writes are silent: the next save or close tries again.
void WriteNumber(const char* name, std::int32_t number) {
  std::uint32_t type = Registry::kRegDword;
  Registry::SetValue(kRoot, kKeyPath, name, type, number);
}

void WriteText(const char* name, const std::string& text) {
  std::uint32_t type = Registry::kRegSz;
  Registry::SetValue(kRoot, kKeyPath, name, type, text);
}

bool IsNormal(Qt::WindowStates state) {
  return !(state & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
}

}  // namespace

std::unique_ptr<QMessageBox> MakeCreateKeyFailureBox(QWidget* parent) {
  return std::make_unique<QMessageBox>(QMessageBox::NoIcon, QStringLiteral("Pelorin"),
                                       QStringLiteral("Unable to create registry key."),
                                       QMessageBox::Ok, parent);
}

PreferenceStore::PreferenceStore(QWidget* parent)
    : ShowCreateKeyFailure([parent] { MakeCreateKeyFailureBox(parent)->exec(); }) {}

Preferences PreferenceStore::GetPrefsFromReg(QWidget& window) {
  const Qt::WindowStates others =
      window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
  // A window closed while minimized opens normal.
  window.setWindowState(ReadNumber("WindowState") == 2 ? others | Qt::WindowMaximized : others);

  if (IsNormal(window.windowState())) {
    StoredPlacement stored;
    stored.top = ReadNumber("WindowTop");
    stored.left = ReadNumber("WindowLeft");
    stored.width = ReadNumber("WindowWidth");
    stored.height = ReadNumber("WindowHeight");
    ApplyPlacement(window, stored);
  }

  Preferences prefs;
  prefs.PrefHighlightLine = ReadNumber("HighlightLine") == 1;
  const auto lineNumbering = ReadNumber("LineNumbering");
  prefs.PrefLineNumbering = !lineNumbering || *lineNumbering == 1;
  prefs.PrefVisibleSpaces = ReadNumber("VisibleSpaces") == 1;
  if (auto name = ReadText("FontName")) {
    prefs.PrefFontName = *name;
  }
  // A size beyond 16 bits cannot be narrowed: it counts as absent.
  if (auto size = ReadNumber("FontSize"); size && *size >= std::numeric_limits<qint16>::min() &&
                                          *size <= std::numeric_limits<qint16>::max()) {
    prefs.PrefFontSize = static_cast<qint16>(*size);
  }
  if (auto dir = ReadText("StartDir")) {
    prefs.PrefStartDir = *dir;
  }
  return prefs;
}

bool PreferenceStore::EnsureKey() {
  if (Registry::KeyExists(kRoot, kKeyPath) || Registry::CreateKey(kRoot, kKeyPath)) {
    return true;
  }
  if (ShowCreateKeyFailure) {
    ShowCreateKeyFailure();
  }
  return false;
}

void PreferenceStore::SavePrefCurDir() {
  if (EnsureKey()) {
    WriteText("StartDir", CurrentDirectory());
  }
}

void PreferenceStore::SavePrefLineNumbering(bool shown) {
  if (EnsureKey()) {
    WriteNumber("LineNumbering", shown ? 1 : 0);
  }
}

void PreferenceStore::SavePrefVisibleSpaces(bool visible) {
  if (EnsureKey()) {
    WriteNumber("VisibleSpaces", visible ? 1 : 0);
  }
}

void PreferenceStore::SavePrefHighlight(bool on) {
  if (EnsureKey()) {
    WriteNumber("HighlightLine", on ? 1 : 0);
  }
}

void PreferenceStore::SavePrefFont(const QString& name, qint16 size) {
  if (EnsureKey()) {
    WriteText("FontName", name.toStdString());
    WriteNumber("FontSize", size);
  }
}

void PreferenceStore::SaveWindowPlacement(const QWidget& window) {
  const Qt::WindowStates state = window.windowState();
  const std::int32_t stored = (state & Qt::WindowMinimized)                            ? 1
                              : (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? 2
                                                                                       : 0;
  // A new user has no key until a preference is saved; without it the placement of the first
  // run would be lost. It is made here silently: closing never shows a message.
  Registry::CreateKey(kRoot, kKeyPath);
  WriteNumber("WindowState", stored);
  if (stored == 0) {
    const StoredPlacement placement = CurrentPlacement(window);
    WriteNumber("WindowTop", *placement.top);
    WriteNumber("WindowLeft", *placement.left);
    WriteNumber("WindowWidth", *placement.width);
    WriteNumber("WindowHeight", *placement.height);
  }
}

}  // namespace pelorin
