// The preference store: what start-up reads from it, what the saves write, the window placement.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <optional>

#include "console/Directory.h"
#include "prefs/EditorFont.h"
#include "prefs/PreferenceStore.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKey = "Software\\Pelorin";

class PreferencesTest : public ::testing::Test {
 protected:
  PreferencesTest() {
    store_.ShowCreateKeyFailure = [this] { ++boxes_; };
    window_.setGeometry(design_);
  }

  static void Store(const char* name, const TypedValue& value, std::uint32_t type) {
    ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
    ASSERT_TRUE(Registry::SetValue(kRoot, kKey, name, type, value));
  }
  static void StoreNumber(const char* name, std::int32_t n) { Store(name, n, Registry::kRegDword); }

  static std::optional<std::int32_t> Number(const char* name) {
    TypedValue value;
    if (!Registry::GetValue(kRoot, kKey, name, Registry::kRegDword, value)) {
      return std::nullopt;
    }
    return std::get<std::int32_t>(value);
  }

  static double Dpi() { return QGuiApplication::primaryScreen()->logicalDotsPerInchX(); }
  static std::int32_t Twips(int pixels) { return PixelsToTwips(pixels, Dpi()); }

  void StorePlacement(const QRect& r) {
    StoreNumber("WindowTop", Twips(r.top()));
    StoreNumber("WindowLeft", Twips(r.left()));
    StoreNumber("WindowWidth", Twips(r.width()));
    StoreNumber("WindowHeight", Twips(r.height()));
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  PreferenceStore store_;
  int boxes_ = 0;
  const QRect design_{60, 50, 320, 240};
  QWidget window_;
};

TEST_F(PreferencesTest, NothingStoredGivesTheDefaultsAndCloseKeepsThePlacement) {
  const Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_FALSE(prefs.PrefHighlightLine);
  EXPECT_TRUE(prefs.PrefLineNumbering);
  EXPECT_FALSE(prefs.PrefVisibleSpaces);
  EXPECT_EQ(prefs.PrefFontName, "Courier New");
  EXPECT_EQ(prefs.PrefFontSize, 12);
  EXPECT_EQ(prefs.PrefStartDir, "/");
  EXPECT_EQ(window_.windowState(), Qt::WindowNoState);
  EXPECT_EQ(window_.frameGeometry(), design_);

  // A new user's first close keeps the placement: the key is made, silently.
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(boxes_, 0);
  QWidget next;
  store_.GetPrefsFromReg(next);
  EXPECT_EQ(next.frameGeometry(), design_);
  EXPECT_TRUE(Registry::KeyExists(kRoot, kKey));
}

TEST_F(PreferencesTest, SwitchesAreOnOnlyForExactlyOne) {
  struct Case {
    std::int32_t stored;
    bool on;
  };
  for (const Case& c : {Case{1, true}, Case{2, false}, Case{0, false}, Case{-1, false}}) {
    StoreNumber("HighlightLine", c.stored);
    StoreNumber("LineNumbering", c.stored);
    StoreNumber("VisibleSpaces", c.stored);
    const Preferences prefs = store_.GetPrefsFromReg(window_);
    EXPECT_EQ(prefs.PrefHighlightLine, c.on) << c.stored;
    EXPECT_EQ(prefs.PrefLineNumbering, c.on) << c.stored;
    EXPECT_EQ(prefs.PrefVisibleSpaces, c.on) << c.stored;
  }
  // Stored as text: unreadable as a number, so the defaults.
  Store("LineNumbering", std::string("0"), Registry::kRegSz);
  Store("HighlightLine", std::string("1"), Registry::kRegSz);
  const Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_TRUE(prefs.PrefLineNumbering);
  EXPECT_FALSE(prefs.PrefHighlightLine);
}

TEST_F(PreferencesTest, FontAndStartDirFallBackWhenUnreadable) {
  Store("FontName", std::string("DejaVu Sans Mono"), Registry::kRegSz);
  Store("StartDir", std::string("/srv/data"), Registry::kRegSz);
  StoreNumber("FontSize", -32768);
  Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_EQ(prefs.PrefFontName, "DejaVu Sans Mono");
  EXPECT_EQ(prefs.PrefStartDir, "/srv/data");
  EXPECT_EQ(prefs.PrefFontSize, -32768);

  {  // written by another program as expandable text, without any reference in it
    regapi::Key* key = nullptr;
    ASSERT_EQ(regapi::OpenKey(kRoot, kKey, regapi::kSetValue, key), 0u);
    const std::uint8_t consolas[] = "Consolas";
    EXPECT_EQ(regapi::SetValue(key, "FontName", Registry::kRegExpandSz, consolas, sizeof consolas),
              0u);
    regapi::CloseKey(key);
  }
  for (std::int32_t size : {70000, 32768, -32769}) {
    StoreNumber("FontSize", size);
    prefs = store_.GetPrefsFromReg(window_);
    EXPECT_EQ(prefs.PrefFontSize, 12) << size;
  }
  EXPECT_EQ(prefs.PrefFontName, "Courier New");
}

TEST_F(PreferencesTest, NormalStateOpensAtTheStoredPlacement) {
  const QRect stored(30, 40, 400, 300);
  StorePlacement(stored);
  for (std::int32_t state : {1, 0, 7}) {
    StoreNumber("WindowState", state);
    QWidget window;
    window.setGeometry(design_);
    store_.GetPrefsFromReg(window);
    EXPECT_EQ(window.windowState(), Qt::WindowNoState) << state;
    EXPECT_EQ(window.frameGeometry(), stored) << state;
  }
}

TEST_F(PreferencesTest, AbsentPlacementValuesKeepTheDesignOnes) {
  StoreNumber("WindowWidth", Twips(500));
  store_.GetPrefsFromReg(window_);
  EXPECT_EQ(window_.frameGeometry(), QRect(design_.topLeft(), QSize(500, design_.height())));
}

TEST_F(PreferencesTest, MaximizedStateIgnoresThePlacement) {
  StorePlacement(QRect(30, 40, 400, 300));
  StoreNumber("WindowState", 2);
  store_.GetPrefsFromReg(window_);
  EXPECT_TRUE(window_.windowState() & Qt::WindowMaximized);
  EXPECT_EQ(window_.geometry(), design_);
}

TEST_F(PreferencesTest, PlacementOffEveryScreenComesBack) {
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  StorePlacement(QRect(screen.right() + 5000, screen.top() - 3000, 300, 200));
  store_.GetPrefsFromReg(window_);
  EXPECT_TRUE(screen.contains(window_.frameGeometry())) << window_.frameGeometry().x();
  EXPECT_EQ(window_.frameGeometry().size(), QSize(300, 200));

  const QRect partly(screen.right() - 100, screen.top() + 10, 300, 200);
  StorePlacement(partly);
  store_.GetPrefsFromReg(window_);
  EXPECT_EQ(window_.frameGeometry(), partly) << "a window that shows enough stays put";
}

TEST(WindowPlacement, BringOntoScreenPicksTheNearestScreenAndFitsIt) {
  const QList<QRect> screens{QRect(0, 0, 1000, 800), QRect(1000, 0, 500, 400)};
  EXPECT_EQ(BringOntoScreen(QRect(5000, 100, 300, 200), screens), QRect(1200, 100, 300, 200));
  EXPECT_EQ(BringOntoScreen(QRect(-900, 2000, 2000, 50), screens), QRect(0, 750, 1000, 50));
  EXPECT_EQ(BringOntoScreen(QRect(1490, 390, 300, 200), screens), QRect(1200, 200, 300, 200))
      << "ten pixels showing are not enough";
  EXPECT_EQ(BringOntoScreen(QRect(1460, 350, 300, 200), screens), QRect(1460, 350, 300, 200));
  EXPECT_EQ(BringOntoScreen(QRect(5000, 0, 10, 10), {}), QRect(5000, 0, 10, 10));
}

TEST(WindowPlacement, TwipsRoundHalvesToEven) {
  EXPECT_EQ(PixelsToTwips(100, 96), 1500);
  EXPECT_EQ(PixelsToTwips(1, 960), 2);  // 1.5
  EXPECT_EQ(PixelsToTwips(3, 960), 4);  // 4.5
  EXPECT_EQ(PixelsToTwips(-1, 960), -2);
  EXPECT_EQ(TwipsToPixels(1500, 96), 100);
  EXPECT_GT(TwipsToPixels(2147483647, 96), 0) << "no overflow";
}

TEST_F(PreferencesTest, SavesCreateTheKeyAndReadBack) {
  test::ScopedCwd restore;
  ASSERT_TRUE(TrySetCurrentDir(dir_.path()));
  store_.SavePrefLineNumbering(false);
  EXPECT_TRUE(Registry::KeyExists(kRoot, kKey));
  EXPECT_EQ(Number("LineNumbering"), 0);
  store_.SavePrefVisibleSpaces(true);
  store_.SavePrefHighlight(true);
  store_.SavePrefFont(QStringLiteral("Mono Ñ"), 14);
  store_.SavePrefCurDir();
  EXPECT_EQ(Number("VisibleSpaces"), 1);
  EXPECT_EQ(Number("HighlightLine"), 1);
  EXPECT_EQ(Number("FontSize"), 14);
  EXPECT_EQ(boxes_, 0);

  const Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_FALSE(prefs.PrefLineNumbering);
  EXPECT_TRUE(prefs.PrefVisibleSpaces);
  EXPECT_TRUE(prefs.PrefHighlightLine);
  EXPECT_EQ(prefs.PrefFontName, QStringLiteral("Mono Ñ"));
  EXPECT_EQ(prefs.PrefFontSize, 14);
  EXPECT_EQ(prefs.PrefStartDir, QString::fromStdString(CurrentDirectory()));

  store_.SavePrefHighlight(false);
  store_.SavePrefLineNumbering(true);
  EXPECT_EQ(Number("HighlightLine"), 0);
  EXPECT_EQ(Number("LineNumbering"), 1);
}

TEST_F(PreferencesTest, StartDirWithAReferenceIsStoredExpandableAndIgnored) {
  test::ScopedCwd restore;
  const std::string odd = dir_.path() + "/a%b%c";
  std::filesystem::create_directory(odd);
  ASSERT_TRUE(TrySetCurrentDir(odd));
  store_.SavePrefCurDir();
  EXPECT_TRUE(Registry::ValueExists(kRoot, kKey, "StartDir"));
  EXPECT_EQ(store_.GetPrefsFromReg(window_).PrefStartDir, "/");
}

TEST_F(PreferencesTest, MessageBoxOnlyWhenTheKeyCannotBeCreated) {
  store_.SavePrefHighlight(true);
  EXPECT_EQ(boxes_, 0);

  const std::string notAFolder = dir_.path() + "/plain-file";
  std::ofstream(notAFolder) << "x";
  test::ScopedEnv xdg("XDG_CONFIG_HOME", notAFolder.c_str());
  store_.SavePrefCurDir();
  store_.SavePrefLineNumbering(true);
  store_.SavePrefVisibleSpaces(true);
  store_.SavePrefHighlight(true);
  store_.SavePrefFont(QStringLiteral("X"), 10);
  EXPECT_EQ(boxes_, 5);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(boxes_, 5) << "closing shows nothing";
  const Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_EQ(prefs.PrefFontName, "Courier New");
}

TEST_F(PreferencesTest, DamagedStoreGivesTheDefaultsAndOnlyTheBox) {
  StoreNumber("LineNumbering", 0);
  std::filesystem::remove(dir_.path() + "/pelorin/registry.db-wal");
  std::ofstream(dir_.path() + "/pelorin/registry.db", std::ios::trunc) << std::string(5000, '?');
  const Preferences prefs = store_.GetPrefsFromReg(window_);
  EXPECT_TRUE(prefs.PrefLineNumbering);
  EXPECT_EQ(prefs.PrefFontName, "Courier New");
  EXPECT_EQ(window_.frameGeometry(), design_);
  store_.SavePrefLineNumbering(false);
  EXPECT_EQ(boxes_, 1);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(boxes_, 1);
}

TEST(CreateKeyFailureBox, TextCaptionOkOnlyNoIcon) {
  const auto box = MakeCreateKeyFailureBox(nullptr);
  EXPECT_EQ(box->text(), "Unable to create registry key.");
  EXPECT_EQ(box->windowTitle(), "Pelorin");
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
  EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
}

TEST_F(PreferencesTest, PlacementIsSavedOnlyInTheNormalState) {
  store_.SavePrefHighlight(false);  // the key exists from the first save on
  const QRect normal(70, 80, 410, 310);
  window_.setGeometry(normal);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(Number("WindowState"), 0);
  EXPECT_EQ(Number("WindowTop"), Twips(80));
  EXPECT_EQ(Number("WindowLeft"), Twips(70));
  EXPECT_EQ(Number("WindowWidth"), Twips(410));
  EXPECT_EQ(Number("WindowHeight"), Twips(310));

  window_.setGeometry(QRect(0, 0, 640, 480));  // moved, then maximized: not to be stored
  window_.setWindowState(Qt::WindowMaximized);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(Number("WindowState"), 2);
  EXPECT_EQ(Number("WindowWidth"), Twips(410)) << "the normal placement stays stored";
  window_.setWindowState(Qt::WindowMinimized);
  store_.SaveWindowPlacement(window_);
  EXPECT_EQ(Number("WindowState"), 1);
  EXPECT_EQ(Number("WindowLeft"), Twips(70));

  QWidget next;  // minimized at close opens normal, where it was last normal
  store_.GetPrefsFromReg(next);
  EXPECT_EQ(next.windowState(), Qt::WindowNoState);
  EXPECT_EQ(next.frameGeometry(), normal);
}

TEST(EditorFont, MissingFamilyFallsBackQuicklyToTheFixedFont) {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  QElapsedTimer timer;
  timer.start();
  for (int i = 0; i < 50; ++i) {
    const QFont font = ResolveEditorFont(QStringLiteral("No Such Family %1").arg(i), 12);
    ASSERT_EQ(font.family(), fixed.family());
  }
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_EQ(ResolveEditorFont(QString(), 9).pointSize(), 9);

  const QString installed = QFontDatabase::families().value(0);
  ASSERT_FALSE(installed.isEmpty());
  EXPECT_EQ(ResolveEditorFont(installed.toUpper(), 11).family(), installed.toUpper());
  EXPECT_EQ(ResolveEditorFont(installed, 11).pointSize(), 11);
}

TEST(EditorFont, SizesOutsideTheUsableRangeAreBounded) {
  EXPECT_EQ(ResolveEditorFont(QStringLiteral("x"), 0).pointSize(), 12);
  EXPECT_EQ(ResolveEditorFont(QStringLiteral("x"), -5).pointSize(), 12);
  EXPECT_EQ(ResolveEditorFont(QStringLiteral("x"), 32767).pointSize(), 1638);
}

}  // namespace
}  // namespace pelorin
