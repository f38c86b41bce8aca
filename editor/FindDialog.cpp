// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/FindDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace pelorin {

FindDialog::FindDialog(const QString& text, bool matchCase, QWidget* parent)
    : QDialog(parent),
      text_(new QLineEdit(text, this)),
      matchCase_(new QCheckBox(tr("Match case"), this)),
      findNext_(new QPushButton(tr("Find next"), this)) {
  setWindowTitle(tr("Find"));
  text_->setObjectName(QStringLiteral("findText"));
  text_->selectAll();
  matchCase_->setObjectName(QStringLiteral("matchCase"));
  matchCase_->setChecked(matchCase);
  findNext_->setObjectName(QStringLiteral("findNext"));
  findNext_->setDefault(true);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  buttons->addButton(findNext_, QDialogButtonBox::ActionRole);

  auto* row = new QHBoxLayout;
  auto* label = new QLabel(tr("Find what:"), this);
  label->setBuddy(text_);  // the box's name for assistive technologies
  row->addWidget(label);
  row->addWidget(text_, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(matchCase_);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(findNext_, &QPushButton::clicked, this,
          [this] { emit FindNextRequested(text_->text(), matchCase_->isChecked()); });
  connect(text_, &QLineEdit::textChanged, this, [this] { UpdateButton(); });
  UpdateButton();
}

void FindDialog::UpdateButton() {
  findNext_->setEnabled(!text_->text().isEmpty());
}

}  // namespace pelorin
