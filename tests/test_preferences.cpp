// SPDX-License-Identifier: GPL-3.0-or-later
// The preference store: what start-up reads from it, what the saves write, the window placement.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QScreen>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include "platform/Directory.h"
#include "prefs/PreferenceStore.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

const QRect kDesign(60, 50, 320, 240);
const QRect kElsewhere(70, 80, 410, 310);

class PreferencesTest : public ::testing::Test {
 protected:
  PreferencesTest() {
    store_.ShowCreateKeyFailure = [this] { ++boxes_; };
    store_.ShowStoreNotice = [this](const QString& text) { notices_ << text; };
  }

  static void Store(const char* name, const TypedValue& value, std::uint32_t type = 4) {
    ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, "Software\\Pelorin"));
    ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, "Software\\Pelorin", name, type, value));
  }
  void StorePlacement(const QRect& r) {
    const double dpi = window_.screen()->logicalDotsPerInchX();
    const int pixels[] = {r.top(), r.left(), r.width(), r.height()};
    for (int i = 0; const char* name : {"WindowTop", "WindowLeft", "WindowWidth", "WindowHeight"})
      Store(name, PixelsToTwips(pixels[i++], dpi));
  }
  // Opens the window (at the design placement unless the store moves it) and gives the six
  // preferences in one line: highlight, numbers, spaces, font, size, start folder.
  std::string Open(QWidget& window) {
    window.setGeometry(kDesign);
    const Preferences p = store_.GetPrefsFromReg(window);
    return std::to_string(p.PrefHighlightLine) + std::to_string(p.PrefLineNumbering) +
           std::to_string(p.PrefVisibleSpaces) + ' ' + p.PrefFontName.toStdString() + ' ' +
           std::to_string(p.PrefFontSize) + ' ' + p.PrefStartDir.toStdString();
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  PreferenceStore store_;
  int boxes_ = 0;
  QStringList notices_;
  QWidget window_;
};

// Saves make the key. A store that is no store is moved aside, the user told once where, and
// the saves go on in a fresh one; a store that is refused (a link) is explained once, and only
// the saves that cannot make the key show the box, never the close.
TEST_F(PreferencesTest, DefaultsUntilSavedWhatTheStoreTellsAndTheBoxOnlyWhenNoKeyCanBeMade) {
  EXPECT_EQ(Open(window_), "010 Courier New 12 /");
  EXPECT_EQ(window_.frameGeometry(), kDesign);
  store_.SavePrefLineNumbering(false);
  store_.SavePrefVisibleSpaces(true);
  store_.SavePrefHighlight(true);
  store_.SavePrefFont(QStringLiteral("Mono Ñ"), 14);
  store_.SavePrefCurDir();
  EXPECT_EQ(Open(window_), "101 Mono Ñ 14 " + CurrentDirectory());
  EXPECT_TRUE(notices_.isEmpty());

  const std::string file = dir_.path() + "/pelorin/registry.db";
  for (const std::string& name : {file, file + "-wal"})
    std::ofstream(name, std::ios::trunc) << std::string(5000, '?');
  EXPECT_EQ(Open(window_), "010 Courier New 12 /");
  EXPECT_EQ(notices_.size(), 1);  // the notices' texts are the store's, checked with it
  store_.SavePrefFont(QStringLiteral("X"), 10);
  EXPECT_EQ(Open(window_), "010 X 10 /");
  EXPECT_EQ(std::pair(notices_.size(), boxes_), std::pair(qsizetype{1}, 0));

  std::filesystem::remove(file);
  std::filesystem::create_symlink("/dev/null", file);
  EXPECT_EQ(Open(window_), "010 Courier New 12 /");
  ASSERT_EQ(notices_.size(), 2);
  store_.SavePrefFont(QStringLiteral("X"), 10);
  store_.SavePrefHighlight(false);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(std::pair(notices_.size(), boxes_), std::pair(qsizetype{2}, 2))
      << "a box for each save that could not make the key, none for closing, the reason once";
  const auto box = MakeCreateKeyFailureBox(nullptr);
  EXPECT_EQ(box->windowTitle() + ": " + box->text(), "Pelorin: Unable to create registry key.");
  const auto notice = MakeStoreNoticeBox(nullptr, notices_[1]);
  EXPECT_EQ(notice->windowTitle() + ": " + notice->text(), "Pelorin: " + notices_[1]);
}

TEST_F(PreferencesTest, SwitchesAreOnOnlyForOneAndFontValuesOutOfTypeOrRangeAreAbsent) {
  for (auto [stored, shown] : {std::pair{1, "111"}, {2, "000"}, {0, "000"}}) {
    for (const char* name : {"HighlightLine", "LineNumbering", "VisibleSpaces"})
      Store(name, stored);
    EXPECT_EQ(Open(window_).substr(0, 3), shown) << stored;
  }
  Store("FontName", std::string("%PELORIN_FONT%"), Registry::kRegExpandSz);  // stored as code 2
  Store("FontSize", -32768);
  EXPECT_EQ(Open(window_), "000 Courier New -32768 /");
  Store("FontSize", 32768);
  EXPECT_EQ(Open(window_), "000 Courier New 12 /");
}

// A folder whose name holds two percent signs is stored as an expanding text (the registry's
// rule for such text) and read back as it was written, never expanded.
TEST_F(PreferencesTest, AStartFolderWithPercentSignsComesBackAsWritten) {
  test::ScopedCwd restore;
  const std::string odd = dir_.path() + "/a%HOME%b";
  std::filesystem::create_directory(odd);
  ASSERT_TRUE(TrySetCurrentDir(odd));
  const std::string saved = CurrentDirectory();
  store_.SavePrefCurDir();
  EXPECT_EQ(Open(window_), "010 Courier New 12 " + saved);
}

TEST_F(PreferencesTest, StoredStateAndPlacement) {
  // Nothing stored: the window manager places the window; a stored size alone sizes it there.
  QWidget first;
  store_.GetPrefsFromReg(first);
  EXPECT_FALSE(first.testAttribute(Qt::WA_Moved)) << "moved without a stored position";
  const double dpi = window_.screen()->logicalDotsPerInchX();
  Store("WindowWidth", PixelsToTwips(500, dpi));
  Store("WindowHeight", PixelsToTwips(400, dpi));
  QWidget sized;
  store_.GetPrefsFromReg(sized);
  EXPECT_FALSE(sized.testAttribute(Qt::WA_Moved)) << "moved without a stored position";
  EXPECT_EQ(sized.frameGeometry().size(), QSize(500, 400));

  const QRect screen = window_.screen()->availableGeometry();
  StorePlacement(QRect(screen.right() + 5000, screen.top() - 3000, 400, 250));
  Open(window_);
  EXPECT_TRUE(screen.contains(window_.frameGeometry())) << "brought back onto the screen";
  EXPECT_EQ(window_.frameGeometry().size(), QSize(400, 250));
  // A size too small to use (a width of 1, a height short of the menu row and a few lines)
  // counts as absent; the smallest usable one is taken.
  StorePlacement(QRect(kElsewhere.topLeft(), QSize(1, kMinUsableSize.height() - 1)));
  Open(window_);
  EXPECT_EQ(window_.frameGeometry(), QRect(kElsewhere.topLeft(), kDesign.size()));
  StorePlacement(QRect(kElsewhere.topLeft(), kMinUsableSize));
  Open(window_);
  EXPECT_EQ(window_.frameGeometry(), QRect(kElsewhere.topLeft(), kMinUsableSize));

  StorePlacement(kElsewhere);
  Store("WindowState", 1);  // closed minimized: opens normal, where it was
  Open(window_);
  EXPECT_TRUE(window_.windowState() == Qt::WindowNoState && window_.frameGeometry() == kElsewhere);
  Store("WindowState", 2);
  Open(window_);
  EXPECT_TRUE(window_.windowState() == Qt::WindowMaximized && window_.geometry() == kDesign);
}

// A new user's first close makes the key, silently, so the placement is kept; a window closed
// maximized or minimized keeps the placement it last had while normal.
TEST_F(PreferencesTest, FirstCloseKeepsThePlacementWhichIsSavedOnlyInTheNormalState) {
  window_.setGeometry(kElsewhere);
  store_.SaveWindowPlacement(window_);
  window_.setGeometry(QRect(0, 0, 640, 480));
  for (auto [state, opens] : {std::pair{Qt::WindowMaximized, Qt::WindowMaximized},
                              {Qt::WindowMinimized, Qt::WindowNoState}}) {
    window_.setWindowState(state);
    store_.SaveWindowPlacement(window_);
    Open(window_);
    EXPECT_EQ(window_.windowState(), opens);
  }
  EXPECT_EQ(window_.frameGeometry(), kElsewhere);
}

}  // namespace
}  // namespace pelorin
