#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileSystemModel>
#include <QMouseEvent>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>

#include "app/FolderTree.h"
#include "tests/support/TempDir.h"

// Readable failure messages for paths.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace pelorin {
namespace {

namespace fs = std::filesystem;

// Runs the event loop until done() holds or the time is up.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) {
      return false;
    }
    QEventLoop loop;
    QTimer::singleShot(5, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

QString Native(const fs::path& p) {
  return QDir::toNativeSeparators(QString::fromStdString(p));
}

class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QObject::connect(&tree, &FolderTree::FolderChange,
                     [this](const QString& path) { reported << path; });
    QObject::connect(tree.FileModel(), &QFileSystemModel::directoryLoaded,
                     [this](const QString& path) { loaded << path; });
    root = fs::path(temp.path());
  }

  QModelIndex IndexOf(const fs::path& p) const {
    return tree.FileModel()->index(QString::fromStdString(p.string()));
  }
  // Every child of the folder listed by the model (after the model's thread has delivered).
  bool Listed(const fs::path& folder, int rows) const {
    return tree.FileModel()->rowCount(IndexOf(folder)) == rows;
  }

  test::TempDir temp;
  fs::path root;
  FolderTree tree;
  QStringList reported;
  QStringList loaded;  // folders the model's thread has finished listing
};

TEST_F(FolderTreeTest, SetSelectedPathSelectsExpandsAndReportsFullPath) {
  fs::create_directories(root / "a" / "b");
  tree.SetSelectedPath(Native(root / "a" / "b"));

  ASSERT_EQ(reported, QStringList{Native(root / "a" / "b")});
  EXPECT_EQ(tree.SelectedPath(), Native(root / "a" / "b"));
  EXPECT_EQ(tree.currentIndex(), IndexOf(root / "a" / "b"));
  EXPECT_TRUE(tree.selectionModel()->isSelected(IndexOf(root / "a" / "b")));
  EXPECT_TRUE(tree.isExpanded(IndexOf(root / "a")));
  EXPECT_TRUE(tree.isExpanded(IndexOf(root)));
}

TEST_F(FolderTreeTest, UserSelectionReportsFolder) {
  fs::create_directories(root / "a" / "b");
  fs::create_directories(root / "a" / "c");
  std::ofstream(root / "a" / "file.txt") << "x";
  tree.SetSelectedPath(Native(root / "a"));
  tree.expand(IndexOf(root / "a"));
  // Files are never listed: two folders only.
  ASSERT_TRUE(WaitUntil([&] { return Listed(root / "a", 2); }));
  reported.clear();

  tree.selectionModel()->setCurrentIndex(IndexOf(root / "a" / "c"),
                                         QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(reported, QStringList{Native(root / "a" / "c")});
  EXPECT_EQ(tree.SelectedPath(), Native(root / "a" / "c"));

  // And by a click on the row, as a person does it.
  tree.resize(400, 600);
  tree.show();
  const QModelIndex b = IndexOf(root / "a" / "b");
  tree.scrollTo(b);
  ASSERT_TRUE(WaitUntil([&] { return tree.viewport()->rect().contains(tree.visualRect(b)); }));
  const QPointF at = tree.visualRect(b).center();
  const QPointF global = tree.viewport()->mapToGlobal(at);
  QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                    Qt::NoModifier);
  QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                      Qt::NoModifier);
  QApplication::sendEvent(tree.viewport(), &press);
  QApplication::sendEvent(tree.viewport(), &release);
  EXPECT_EQ(reported, (QStringList{Native(root / "a" / "c"), Native(root / "a" / "b")}));
}

TEST_F(FolderTreeTest, PathThatIsNoFolderIsReportedAsGiven) {
  fs::create_directories(root / "a");
  std::ofstream(root / "a" / "file.txt") << "x";
  tree.SetSelectedPath(Native(root / "a"));
  tree.expand(IndexOf(root / "a"));
  reported.clear();

  // Unnormalised on purpose: the owner shows the path exactly as it was handed over.
  const QString missing = Native(root) + "/missing//deeper/";
  tree.SetSelectedPath(missing);
  EXPECT_EQ(reported, QStringList{missing});
  EXPECT_EQ(tree.SelectedPath(), missing);
  EXPECT_FALSE(tree.currentIndex().isValid());

  // A file is not a folder: reported, never shown in the tree.
  tree.SetSelectedPath(Native(root / "a" / "file.txt"));
  tree.SetSelectedPath(QString());
  EXPECT_EQ(reported, (QStringList{missing, Native(root / "a" / "file.txt"), QString()}));
  ASSERT_TRUE(WaitUntil([&] { return loaded.contains(QString::fromStdString(root / "a")); }));
  EXPECT_EQ(tree.FileModel()->rowCount(IndexOf(root / "a")), 0);

  // Choosing the folder again after that is a change and is reported.
  tree.SetSelectedPath(Native(root / "a"));
  EXPECT_EQ(reported.back(), Native(root / "a"));
}

TEST_F(FolderTreeTest, FolderVanishingFromDiskIsNoChoice) {
  fs::create_directories(root / "a" / "b");
  fs::create_directories(root / "a" / "c");
  tree.SetSelectedPath(Native(root / "a" / "c"));
  ASSERT_TRUE(WaitUntil([&] { return Listed(root / "a", 2); }));
  reported.clear();

  fs::remove(root / "a" / "c");
  // The model notices through its watcher; the selection then moves to a neighbour by itself.
  ASSERT_TRUE(WaitUntil([&] { return Listed(root / "a", 1); }));
  EXPECT_TRUE(reported.isEmpty()) << reported.join(", ").toStdString();
  EXPECT_EQ(tree.SelectedPath(), Native(root / "a" / "c"));
}

TEST_F(FolderTreeTest, HugeFolderKeepsWindowResponsiveAndTargetInView) {
  constexpr int kFiles = 20000;
  constexpr int kFolders = 5000;
  const fs::path big = root / "big";
  fs::create_directories(big);
  for (int i = 0; i < kFiles; ++i) {
    std::ofstream(big / ("file" + std::to_string(i)));
  }
  for (int i = 0; i < kFolders; ++i) {
    fs::create_directory(big / ("dir" + std::to_string(10000 + i)));
  }
  tree.resize(300, 400);
  tree.show();
  tree.SetSelectedPath(Native(root));
  tree.expand(IndexOf(root));
  ASSERT_TRUE(WaitUntil([&] { return Listed(root, 1); }));

  QElapsedTimer sinceTick;
  qint64 longestGap = 0;
  QTimer ticker;
  QObject::connect(&ticker, &QTimer::timeout,
                   [&] { longestGap = std::max(longestGap, sinceTick.restart()); });
  sinceTick.start();
  ticker.start(5);

  // The target sorts last: it is only in view if the tree scrolls once the folder is listed.
  const fs::path target = big / ("dir" + std::to_string(10000 + kFolders - 1));
  tree.SetSelectedPath(Native(target));
  ASSERT_TRUE(WaitUntil([&] { return Listed(big, kFolders); }, 60000));
  // Leave time for the model's sort and the view's layout after the last rows came in.
  WaitUntil([] { return false; }, 500);
  ticker.stop();

  RecordProperty("longest_gap_ms", static_cast<int>(longestGap));
  EXPECT_LT(longestGap, 250) << "event loop stalled while listing the folder";
  EXPECT_EQ(reported.back(), Native(target));
  const QModelIndex at = IndexOf(target);
  EXPECT_EQ(tree.currentIndex(), at);
  EXPECT_TRUE(tree.viewport()->rect().contains(tree.visualRect(at)))
      << "target out of view, at y " << tree.visualRect(at).y();
}

}  // namespace
}  // namespace pelorin
