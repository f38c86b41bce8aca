// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDir>
#include <QFileSystemModel>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/FolderTree.h"
#include "tests/support/PauseMeter.h"
#include "tests/support/TempDir.h"

// Readable failure messages for paths.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace pelorin {

namespace fs = std::filesystem;

QString Native(const fs::path& p) {
  return QDir::toNativeSeparators(QString::fromStdString(p.string()));
}

// A tree over a scratch folder holding a/b, a/c and the file a/file.txt.
class FolderTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QObject::connect(&tree, &FolderTree::FolderChange, [this](const QString& p) { reported << p; });
    fs::create_directories(root / "a" / "b");
    fs::create_directories(root / "a" / "c");
    std::ofstream(root / "a" / "file.txt") << "x";
  }
  QModelIndex IndexOf(const fs::path& p) const {
    return tree.FileModel()->index(QString::fromStdString(p.string()));
  }
  // The model's thread has listed `rows` folders in the folder (files are never listed).
  bool Listed(const fs::path& folder, int rows, int timeoutMs = 15000) const {
    return QTest::qWaitFor([&] { return tree.FileModel()->rowCount(IndexOf(folder)) == rows; },
                           timeoutMs);
  }

  test::TempDir temp;
  fs::path root = temp.path();
  FolderTree tree;
  QStringList reported;
};

TEST_F(FolderTreeTest, SetSelectedPathAndTheUserReportFullPathsButAVanishingFolderDoesNot) {
  tree.SetSelectedPath(Native(root / "a" / "c"));
  EXPECT_EQ(tree.currentIndex(), IndexOf(root / "a" / "c"));
  ASSERT_TRUE(Listed(root / "a", 2));
  // The user's choice, as a click or a key makes it.
  tree.selectionModel()->setCurrentIndex(IndexOf(root / "a" / "b"),
                                         QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(reported, (QStringList{Native(root / "a" / "c"), Native(root / "a" / "b")}));

  // The model notices through its watcher; the selection then moves to a neighbour by itself.
  fs::remove(root / "a" / "b");
  ASSERT_TRUE(Listed(root / "a", 1));
  EXPECT_EQ(reported.size(), 2) << reported.join(", ").toStdString();
  EXPECT_EQ(tree.SelectedPath(), Native(root / "a" / "b"));
}

TEST_F(FolderTreeTest, KeysMoveTheHighlightOnlyUntilEnterOrAClickChoosesIt) {
  tree.SetSelectedPath(Native(root / "a" / "b"));
  ASSERT_TRUE(Listed(root / "a", 2));
  tree.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&tree));
  reported.clear();
  QTest::keyClick(&tree, Qt::Key_C);  // type-to-find
  EXPECT_EQ(tree.currentIndex(), IndexOf(root / "a" / "c"));
  QTest::keyClick(&tree, Qt::Key_Up);
  QTest::keyClick(&tree, Qt::Key_Down);
  EXPECT_EQ(reported, QStringList());
  QTest::keyClick(&tree, Qt::Key_Return);
  EXPECT_EQ(reported, QStringList{Native(root / "a" / "c")});
  // A click on the folder the keys highlighted chooses it, though it is current already.
  QTest::keyClick(&tree, Qt::Key_Up);
  const QRect row = tree.visualRect(IndexOf(root / "a" / "b"));
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_EQ(reported, (QStringList{Native(root / "a" / "c"), Native(root / "a" / "b")}));
}

TEST_F(FolderTreeTest, PathThatIsNoFolderIsReportedAsGivenAndSelectsNothing) {
  // Unnormalised on purpose: the owner shows the path exactly as it was handed over.
  for (const QString& path :
       {Native(root) + "/missing//deeper/", Native(root / "a" / "file.txt"), QString()}) {
    tree.SetSelectedPath(path);
    EXPECT_EQ(reported.back(), path);
    EXPECT_FALSE(tree.currentIndex().isValid());
  }
}

TEST_F(FolderTreeTest, ShowPathFollowsTheConsoleWithoutReporting) {
  tree.SetSelectedPath(Native(root / "a"));
  tree.ShowPath(Native(root / "a" / "c"));
  EXPECT_EQ(tree.currentIndex(), IndexOf(root / "a" / "c"));
  EXPECT_EQ(tree.SelectedPath(), Native(root / "a" / "c"));
  tree.ShowPath(Native(root / "a" / "file.txt"));
  EXPECT_FALSE(tree.currentIndex().isValid());
  EXPECT_EQ(reported, QStringList{Native(root / "a")}) << "the console said it already";
  tree.selectionModel()->setCurrentIndex(IndexOf(root / "a" / "b"),
                                         QItemSelectionModel::ClearAndSelect);
  EXPECT_EQ(reported.back(), Native(root / "a" / "b")) << "the user's choice still is";
}

TEST_F(FolderTreeTest, HugeFolderKeepsTheWindowResponsiveAndTheTargetInView) {
  const fs::path big = root / "big";
  fs::create_directories(big);
  for (int i = 0; i < 20000; ++i)
    std::ofstream(big / ("file" + std::to_string(i)));
  for (int i = 0; i < 5000; ++i)
    fs::create_directory(big / ("dir" + std::to_string(10000 + i)));
  tree.show();
  test::PauseMeter pauses;  // between two turns of the event loop
  QTimer ticker;
  ticker.callOnTimeout([&] { pauses.Mark(); });
  ticker.start(5);
  // The target sorts last: it is only in view if the tree scrolls once the folder is listed.
  const fs::path target = big / "dir14999";
  tree.SetSelectedPath(Native(target));
  ASSERT_TRUE(Listed(big, 5000, 60000));
  // After the last rows the model sorts, and the view lays out and follows: the target ends as
  // the last row, in view.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        const QModelIndex at = IndexOf(target);
        return at.row() == 4999 && tree.viewport()->rect().contains(tree.visualRect(at));
      },
      30000));
  EXPECT_LT(pauses.LongestMs(), 250 * PELORIN_TIMING_SLACK)
      << "event loop stalled while listing the folder";
}

}  // namespace pelorin
