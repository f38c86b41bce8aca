// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/PreferenceStore.h"

#include <QMessageBox>
#include <QWidget>
#include <algorithm>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Directory.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"

namespace pelorin {

namespace {

constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKeyPath = "Software\\Pelorin";
using Registry::NamedValue;

// Every stored value, read at once: the values written together are read together.
class StoredValues {
 public:
  StoredValues() {
    for (const char* name :
         {"WindowState", "WindowTop", "WindowLeft", "WindowWidth", "WindowHeight", "HighlightLine",
          "LineNumbering", "VisibleSpaces", "FontSize", "DesktopColours", "Zoom"}) {
      values_.push_back({name, Registry::kRegDword});
    }
    values_.push_back({"FontName", Registry::kRegSz});
    // A folder whose name holds two percent signs is stored as an expanding text (the percent
    // rule); it is read back as written: the folder's name, not a reference to expand.
    values_.push_back({"StartDir", Registry::kRegSz});
    values_.back().asWritten = true;
    Registry::GetValues(kRoot, kKeyPath, values_);
  }

  std::optional<std::int32_t> Number(std::string_view name) const {
    const NamedValue* v = Find(name);
    return v != nullptr ? std::optional(std::get<std::int32_t>(v->value)) : std::nullopt;
  }
  std::optional<QString> Text(std::string_view name) const {
    const NamedValue* v = Find(name);
    return v != nullptr ? std::optional(QString::fromStdString(std::get<std::string>(v->value)))
                        : std::nullopt;
  }

 private:
  const NamedValue* Find(std::string_view name) const {
    const auto it = std::find_if(values_.begin(), values_.end(),
                                 [name](const NamedValue& v) { return v.name == name; });
    return it != values_.end() && it->read ? &*it : nullptr;
  }
  std::vector<NamedValue> values_;
};

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

std::unique_ptr<QMessageBox> MakeStoreNoticeBox(QWidget* parent, const QString& text) {
  return std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Pelorin"), text,
                                       QMessageBox::Ok, parent);
}

PreferenceStore::PreferenceStore(QWidget* parent)
    : ShowCreateKeyFailure([parent] { MakeCreateKeyFailureBox(parent)->exec(); }),
      ShowStoreNotice([parent](const QString& text) { MakeStoreNoticeBox(parent, text)->exec(); }) {
}

Preferences PreferenceStore::GetPrefsFromReg(QWidget& window) {
  const StoredValues stored = [] {
    const Registry::WaitBudget budget(kStoreWait);
    return StoredValues();
  }();
  const Qt::WindowStates others =
      window.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
  // A window closed while minimized opens normal.
  window.setWindowState(stored.Number("WindowState") == 2 ? others | Qt::WindowMaximized : others);

  if (IsNormal(window.windowState())) {
    ApplyPlacement(window,
                   StoredPlacement{stored.Number("WindowTop"), stored.Number("WindowLeft"),
                                   stored.Number("WindowWidth"), stored.Number("WindowHeight")});
  }

  Preferences prefs;
  prefs.PrefHighlightLine = stored.Number("HighlightLine") == 1;
  const auto lineNumbering = stored.Number("LineNumbering");
  prefs.PrefLineNumbering = !lineNumbering || *lineNumbering == 1;
  prefs.PrefVisibleSpaces = stored.Number("VisibleSpaces") == 1;
  if (auto name = stored.Text("FontName")) {
    prefs.PrefFontName = *name;
  }
  // A size beyond 16 bits cannot be narrowed: it counts as absent.
  if (auto size = stored.Number("FontSize"); size && *size >= std::numeric_limits<qint16>::min() &&
                                             *size <= std::numeric_limits<qint16>::max()) {
    prefs.PrefFontSize = static_cast<qint16>(*size);
  }
  if (auto dir = stored.Text("StartDir")) {
    prefs.PrefStartDir = *dir;
  }
  prefs.PrefDesktopColours = stored.Number("DesktopColours") == 1;
  if (auto zoom = stored.Number("Zoom");
      zoom && *zoom >= Preferences::kMinZoom && *zoom <= Preferences::kMaxZoom) {
    prefs.PrefZoom = *zoom;
  }
  TellStoreNotice();
  return prefs;
}

void PreferenceStore::TellStoreNotice() {
  if (const std::string notice = Registry::TakeStoreNotice(); !notice.empty() && ShowStoreNotice) {
    ShowStoreNotice(QString::fromStdString(notice));
  }
}

bool PreferenceStore::EnsureKey() {
  if (Registry::KeyExists(kRoot, kKeyPath) || Registry::CreateKey(kRoot, kKeyPath)) {
    return true;
  }
  TellStoreNotice();  // why, when the store knows, before the box
  if (ShowCreateKeyFailure) {
    ShowCreateKeyFailure();
  }
  return false;
}

template <typename Write>
void PreferenceStore::Save(Write write) {
  {
    const Registry::WaitBudget budget(kStoreWait);
    if (!EnsureKey()) {
      return;
    }
    write();
  }
  TellStoreNotice();
}

void PreferenceStore::SavePrefCurDir() {
  Save([] { WriteText("StartDir", CurrentDirectory()); });
}

void PreferenceStore::SavePrefLineNumbering(bool shown) {
  Save([shown] { WriteNumber("LineNumbering", shown ? 1 : 0); });
}

void PreferenceStore::SavePrefVisibleSpaces(bool visible) {
  Save([visible] { WriteNumber("VisibleSpaces", visible ? 1 : 0); });
}

void PreferenceStore::SavePrefHighlight(bool on) {
  Save([on] { WriteNumber("HighlightLine", on ? 1 : 0); });
}

void PreferenceStore::SavePrefFont(const QString& name, qint16 size) {
  Save([&name, size] {
    WriteText("FontName", name.toStdString());
    WriteNumber("FontSize", size);
  });
}

void PreferenceStore::SavePrefDesktopColours(bool on) {
  Save([on] { WriteNumber("DesktopColours", on ? 1 : 0); });
}

void PreferenceStore::SavePrefZoom(int level) {
  Save([level] { WriteNumber("Zoom", level); });
}

void PreferenceStore::SaveWindowPlacement(const QWidget& window) {
  const Qt::WindowStates state = window.windowState();
  const std::int32_t stored = (state & Qt::WindowMinimized)                            ? 1
                              : (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? 2
                                                                                       : 0;
  std::vector<NamedValue> values{{"WindowState", Registry::kRegDword, stored}};
  if (stored == 0) {
    const StoredPlacement placement = CurrentPlacement(window);
    for (const auto& [name, value] : {std::pair{"WindowTop", placement.top},
                                      {"WindowLeft", placement.left},
                                      {"WindowWidth", placement.width},
                                      {"WindowHeight", placement.height}}) {
      values.push_back({name, Registry::kRegDword, *value});
    }
  }
  {
    const Registry::WaitBudget budget(kStoreWait);
    // A new user has no key until a preference is saved; without it the placement of the
    // first run would be lost. It is made here silently: only what the store tells is shown.
    Registry::CreateKey(kRoot, kKeyPath);
    // One write: another window closing at the same moment, or this process dying part way,
    // leaves one window's whole placement, never a mix.
    Registry::SetValues(kRoot, kKeyPath, values);
  }
  TellStoreNotice();
}

}  // namespace pelorin
