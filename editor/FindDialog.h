// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The find dialog of the console surface: a text, a case switch and "Find next". Each search
// request goes to the surface, which then searches from its caret; the dialog stays open until
// the user closes it.

#include <QDialog>
#include <QString>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace pelorin {

class FindDialog : public QDialog {
  Q_OBJECT

 public:
  FindDialog(const QString& text, bool matchCase, QWidget* parent = nullptr);

 signals:
  void FindNextRequested(const QString& text, bool matchCase);

 private:
  void UpdateButton();

  QLineEdit* text_;
  QCheckBox* matchCase_;
  QPushButton* findNext_;
};

}  // namespace pelorin
