// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The font dialog of the console surface: a face from the system's list and a size in points,
// with a sample. Qt's own font dialog reads the styles of every face it offers through
// QFontDatabase::font, which (Qt 6.4) reads through a null pointer for a face the system lists
// but gives no style for, as fonts under Wine do; this one offers only faces with a style and
// never asks for one, so no set of fonts can bring it down.

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QSpinBox;

namespace pelorin {

class FontDialog : public QDialog {
  Q_OBJECT

 public:
  // Opens on family (added to the list if the system lists no such face) and pointSize.
  FontDialog(const QString& family, int pointSize, QWidget* parent = nullptr);

  QString Family() const;
  int PointSize() const;

  // The faces offered: the system's, less those it gives no style for and its private ones.
  static QStringList UsableFamilies();

 private:
  void UpdateSample();

  QListWidget* families_;
  QSpinBox* size_;
  QLabel* sample_;
};

}  // namespace pelorin
