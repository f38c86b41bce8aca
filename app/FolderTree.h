// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The folder tree on the left of the window (DirLS): folders only, listed lazily in the file
// system model's own thread, so a folder with a hundred thousand entries does not stop the
// window. A click chooses a folder; keys (arrows, type-to-find) only move the highlight until
// Enter chooses it. A click never takes the keyboard focus: the console keeps it.

#include <QPersistentModelIndex>
#include <QString>
#include <QTreeView>
#include <memory>

class QAbstractFileIconProvider;
class QFileSystemModel;

namespace pelorin {

class FolderTree : public QTreeView {
  Q_OBJECT

 public:
  explicit FolderTree(QWidget* parent = nullptr);
  ~FolderTree() override;

  // Expands to the folder, selects it and keeps it in view while the folders around it are
  // listed, until the user scrolls, expands, collapses or selects in the tree.
  // A path that is not an existing folder selects nothing and is reported unchanged through
  // FolderChange, so the owner can say that it was not found.
  void SetSelectedPath(const QString& path);
  // Selects the folder and keeps it in view as SetSelectedPath does, without FolderChange: the
  // tree follows a folder the console made current. A path that is not a folder selects
  // nothing. The folders around it are listed in the model's own thread, as always.
  void ShowPath(const QString& path);
  // The folder last reported through FolderChange (or shown by ShowPath), native separators;
  // empty before any.
  QString SelectedPath() const { return selectedPath_; }

  QFileSystemModel* FileModel() const { return model_; }

 signals:
  // The chosen folder's full native path, whenever the user chooses another folder (a click, or
  // Enter after keys) or SetSelectedPath selects one. Not raised while keys move the highlight,
  // nor when the selection only follows a folder that vanished from the disk.
  void FolderChange(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  // Reports the highlighted folder when it is not the one reported last.
  void ChooseCurrent();
  void OnCurrentChanged(const QModelIndex& current);
  void ScheduleFollow();
  void StopFollow();
  void Report(const QString& path);

  std::unique_ptr<QAbstractFileIconProvider> icons_;
  QFileSystemModel* model_;
  QString selectedPath_;
  // Set while the model removes rows: the selection then moves by itself, not by anyone's choice.
  bool rowsGoing_ = false;
  // Set while ShowPath moves the selection: nobody chose that folder in the tree.
  bool quiet_ = false;
  // Set while a key is handled: the highlight it moves is no choice yet.
  bool keyMoving_ = false;
  // The folder SetSelectedPath chose, kept in view while the listings around it come in.
  QPersistentModelIndex follow_;
  bool followQueued_ = false;
};

namespace platform {
// The model's root: "/" on POSIX, "" (all drives) on Windows.
QString FolderTreeRootPath();
}  // namespace platform

}  // namespace pelorin
