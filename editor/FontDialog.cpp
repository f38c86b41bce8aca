// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/FontDialog.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QVBoxLayout>

namespace pelorin {

namespace {

// The sizes the surface takes (ConsoleEditor::SetEditorFont).
constexpr int kMinSize = 1;
constexpr int kMaxSize = 500;

}  // namespace

QStringList FontDialog::UsableFamilies() {
  QStringList usable;
  for (const QString& family : QFontDatabase::families()) {
    // '@' marks a face for vertical writing on Windows: no console face.
    if (!family.startsWith(QLatin1Char('@')) && !QFontDatabase::isPrivateFamily(family) &&
        !QFontDatabase::styles(family).isEmpty()) {
      usable << family;
    }
  }
  return usable;
}

FontDialog::FontDialog(const QString& family, int pointSize, QWidget* parent)
    : QDialog(parent),
      families_(new QListWidget(this)),
      size_(new QSpinBox(this)),
      sample_(new QLabel(QStringLiteral("AaBbYyZz 0123 ->[]{}"), this)) {
  setWindowTitle(tr("Font"));
  families_->setObjectName(QStringLiteral("fontFamily"));
  size_->setObjectName(QStringLiteral("fontSize"));
  sample_->setObjectName(QStringLiteral("fontSample"));

  QStringList names = UsableFamilies();
  if (!family.isEmpty() && !names.contains(family)) {
    names << family;  // the face shown, whatever the list says: OK without a change keeps it
  }
  names.sort(Qt::CaseInsensitive);
  families_->addItems(names);
  const QList<QListWidgetItem*> current = families_->findItems(family, Qt::MatchExactly);
  if (!current.isEmpty()) {
    families_->setCurrentItem(current.first());
    families_->scrollToItem(current.first(), QAbstractItemView::PositionAtCenter);
  }
  size_->setRange(kMinSize, kMaxSize);
  size_->setValue(pointSize);
  sample_->setMinimumHeight(72);
  sample_->setAlignment(Qt::AlignCenter);
  sample_->setFrameShape(QFrame::StyledPanel);

  auto* grid = new QGridLayout;
  auto* familyLabel = new QLabel(tr("&Font:"), this);
  familyLabel->setBuddy(families_);
  auto* sizeLabel = new QLabel(tr("&Size:"), this);
  sizeLabel->setBuddy(size_);
  grid->addWidget(familyLabel, 0, 0);
  grid->addWidget(sizeLabel, 0, 1);
  grid->addWidget(families_, 1, 0);
  grid->addWidget(size_, 1, 1, Qt::AlignTop);
  grid->setColumnStretch(0, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid, 1);
  layout->addWidget(sample_);
  layout->addWidget(buttons);

  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(families_, &QListWidget::currentRowChanged, this, [this] { UpdateSample(); });
  connect(size_, &QSpinBox::valueChanged, this, [this] { UpdateSample(); });
  families_->setFocus();
  UpdateSample();
}

QString FontDialog::Family() const {
  const QListWidgetItem* item = families_->currentItem();
  return item != nullptr ? item->text() : QString();
}

int FontDialog::PointSize() const {
  return size_->value();
}

void FontDialog::UpdateSample() {
  // A font by name and size only: matching it walks the faces the system gives, never a style
  // list that may be empty.
  QFont font(Family());
  font.setPointSize(PointSize());
  sample_->setFont(font);
}

}  // namespace pelorin
