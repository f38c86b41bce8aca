// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FolderTree.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyle>
#include <QTimer>

namespace pelorin {

namespace {

// The model asks for an icon and a type name of every entry it lists, files included, on the
// window's thread. The stock provider finds them by the MIME type, reading the start of every
// file: seconds for a folder of many thousand files. Folders and drives need no such search.
class FolderIconProvider : public QAbstractFileIconProvider {
 public:
  FolderIconProvider()
      : folder_(QApplication::style()->standardIcon(QStyle::SP_DirIcon)),
        drive_(QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon)) {}

  QIcon icon(IconType type) const override { return type == Drive ? drive_ : folder_; }
  QIcon icon(const QFileInfo& info) const override { return info.isRoot() ? drive_ : folder_; }
  QString type(const QFileInfo& info) const override {
    return info.isRoot() ? QStringLiteral("Drive") : QStringLiteral("Folder");
  }

 private:
  QIcon folder_;
  QIcon drive_;
};

}  // namespace

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent),
      icons_(std::make_unique<FolderIconProvider>()),
      model_(new QFileSystemModel(this)) {
  model_->setIconProvider(icons_.get());
  model_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
  // Connected before the view's selection model exists, so the flag is up before that model
  // moves the current index off rows about to go.
  connect(model_, &QAbstractItemModel::rowsAboutToBeRemoved, this, [this] { rowsGoing_ = true; });
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this] { rowsGoing_ = false; });
  // Listings arrive in batches and the model sorts after each: any of them can push the
  // folder SetSelectedPath chose out of view.
  connect(model_, &QAbstractItemModel::rowsInserted, this, &FolderTree::ScheduleFollow);
  connect(model_, &QAbstractItemModel::layoutChanged, this, &FolderTree::ScheduleFollow);
  connect(model_, &QFileSystemModel::directoryLoaded, this, &FolderTree::ScheduleFollow);
  model_->setRootPath(platform::FolderTreeRootPath());

  setModel(model_);
  for (int column = 1; column < model_->columnCount(); ++column) {
    hideColumn(column);
  }
  setHeaderHidden(true);
  // Row heights measured one by one would cost seconds in a folder of many thousand folders.
  setUniformRowHeights(true);
  // Typing after a click on a folder goes to the console, which the folder change gave the
  // focus: a tree that took it with the click would take the first letters for type-to-find.
  setFocusPolicy(Qt::TabFocus);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { OnCurrentChanged(current); });
  // Whatever the user does in the tree ends the following.
  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, &FolderTree::StopFollow);
  connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this, &FolderTree::StopFollow);
  connect(this, &QTreeView::expanded, this, &FolderTree::StopFollow);
  connect(this, &QTreeView::collapsed, this, &FolderTree::StopFollow);
}

FolderTree::~FolderTree() {
  // The model uses the icon provider until it is gone.
  setModel(nullptr);
  delete model_;
}

void FolderTree::SetSelectedPath(const QString& path) {
  const QString modelPath = QDir::fromNativeSeparators(path);
  // Checked first: the model would otherwise show a file, or create nodes for a path that
  // is not there.
  const QModelIndex index =
      !path.isEmpty() && QFileInfo(modelPath).isDir() ? model_->index(modelPath) : QModelIndex();
  if (!index.isValid()) {
    StopFollow();
    selectionModel()->clear();
    Report(path);
    return;
  }
  for (QModelIndex up = index.parent(); up.isValid(); up = up.parent()) {
    expand(up);
  }
  selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  scrollTo(index);
  // Its siblings, and those of every folder above it, are listed later in the model's thread
  // and push it around: keep it in view until the user takes over.
  follow_ = index;
}

void FolderTree::ShowPath(const QString& path) {
  quiet_ = true;
  SetSelectedPath(path);
  quiet_ = false;
  const QModelIndex current = currentIndex();
  selectedPath_ = current.isValid() && selectionModel()->isSelected(current)
                      ? QDir::toNativeSeparators(model_->filePath(current))
                      : QString();
}

void FolderTree::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    ChooseCurrent();
    event->accept();
    return;
  }
  keyMoving_ = true;
  QTreeView::keyPressEvent(event);
  keyMoving_ = false;
}

void FolderTree::mousePressEvent(QMouseEvent* event) {
  QTreeView::mousePressEvent(event);
  // A click on the folder the keys highlighted changes no current index, yet chooses it.
  if (event->button() == Qt::LeftButton && indexAt(event->position().toPoint()) == currentIndex()) {
    ChooseCurrent();
  }
}

void FolderTree::ChooseCurrent() {
  const QModelIndex current = currentIndex();
  if (!current.isValid()) {
    return;
  }
  const QString path = QDir::toNativeSeparators(model_->filePath(current));
  if (path != selectedPath_) {
    Report(path);
  }
}

void FolderTree::OnCurrentChanged(const QModelIndex& current) {
  if (rowsGoing_ || !current.isValid() || quiet_) {
    return;
  }
  if (current != follow_) {
    StopFollow();
  }
  if (keyMoving_) {
    return;  // a highlight only, until Enter or a click
  }
  Report(QDir::toNativeSeparators(model_->filePath(current)));
}

void FolderTree::ScheduleFollow() {
  if (!follow_.isValid() || followQueued_) {
    return;
  }
  // Once per turn of the event loop, after the view has taken in the whole change.
  followQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    followQueued_ = false;
    if (follow_.isValid() && follow_ == currentIndex()) {
      scrollTo(follow_);
    }
  });
}

void FolderTree::StopFollow() {
  follow_ = QPersistentModelIndex();
}

void FolderTree::Report(const QString& path) {
  if (quiet_) {
    return;
  }
  selectedPath_ = path;
  emit FolderChange(path);
}

}  // namespace pelorin
