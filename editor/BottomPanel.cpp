// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/BottomPanel.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <algorithm>
#include <string_view>

#include "editor/ConsoleEditor.h"
#include "editor/NumericPrefix.h"
#include "platform/Twips.h"

namespace pelorin {

namespace {

// TextGoto's place in the bottom bar, in twips: behind the caption of each panel.
constexpr int kLeftTwips[] = {1000, 1400, 1700};
constexpr int kTopTwips = 30;
constexpr int kWidthTwips = 1215;
constexpr int kHeightTwips = 280;

bool IsPanel(PanelMode mode) {
  return mode == PanelMode::GoToLine || mode == PanelMode::AddDivider ||
         mode == PanelMode::RemoveDivider;
}

}  // namespace

BottomPanel::BottomPanel(BottomBar& bar, QLineEdit& TextGoto, ConsoleEditor& editor,
                         Actions actions)
    : bar_(bar),
      TextGoto_(TextGoto),
      hint_(new QLabel(TextGoto.parentWidget())),
      editor_(editor),
      actions_(std::move(actions)) {
  QFont font = TextGoto_.font();
  if (QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
    font.setFamily(QStringLiteral("Tahoma"));  // otherwise the system's own face, not a search
  }
  font.setPointSizeF(8.25);
  TextGoto_.setFont(font);
  const int dpiX = TextGoto_.logicalDpiX();
  const int dpiY = TextGoto_.logicalDpiY();
  TextGoto_.resize(TwipsToPixels(kWidthTwips, dpiX), TwipsToPixels(kHeightTwips, dpiY));
  hint_->setObjectName(QStringLiteral("panelHint"));
  hint_->setTextFormat(Qt::PlainText);
  hint_->hide();
  QObject::connect(&TextGoto_, &QLineEdit::textEdited, hint_, &QWidget::hide);
}

void BottomPanel::ShowBottomPanel(PanelMode mode) {
  hint_->hide();
  lPanelMode_ = mode;
  bar_.ShowBottomBar(true);
  bar_.ShowPanelCaption(mode);
  if (IsPanel(mode)) {
    TextGoto_.move(LeftEdge(mode), TextGoto_.y());
  }
  TextGoto_.move(TextGoto_.x(), TwipsToPixels(kTopTwips, TextGoto_.logicalDpiY()));
  TextGoto_.raise();
  TextGoto_.setFocus();
  TextGoto_.clear();
}

int BottomPanel::LeftEdge(PanelMode mode) const {
  const int left = TwipsToPixels(kLeftTwips[static_cast<int>(mode) - 1], TextGoto_.logicalDpiX());
  // The edges suit the captions in their intended face; where the system draws them wider, the
  // box still stands just behind its caption rather than over it.
  return std::max(left, bar_.PanelCaptionRight() + 4);
}

void BottomPanel::ShowHint() {
  // Not "Invalid input", which belongs to the prompt line: what the panel wants, in its own
  // terms.
  hint_->setText(QStringLiteral("Type a line number from 1 to %1").arg(editor_.LineCount()));
  hint_->adjustSize();
  const QRect box = TextGoto_.geometry();
  hint_->move(box.right() + 8, box.y() + (box.height() - hint_->height()) / 2);
  hint_->show();
  hint_->raise();
}

void BottomPanel::ClosePanel() {
  hint_->hide();
  bar_.ShowBottomBar(false);
  editor_.setFocus();
}

void BottomPanel::TextGoto_KeyUp(int qtKey) {
  if (qtKey == Qt::Key_Escape) {
    ClosePanel();
    return;
  }
  if (qtKey != Qt::Key_Return && qtKey != Qt::Key_Enter) {
    return;
  }
  const QByteArray text = TextGoto_.text().toUtf8();
  const std::optional<int> line = LineIndexFromText(
      std::string_view(text.constData(), size_t(text.size())), editor_.LineCount());
  if (!line) {
    ShowHint();  // not the number of an existing line: the panel stays open
    return;
  }
  switch (lPanelMode_) {
    case PanelMode::GoToLine:
      editor_.RunEditorCommand(EditorCommand::kGoToLine, *line);
      break;
    case PanelMode::AddDivider:
      if (actions_.addDevider) {
        actions_.addDevider(*line);
      }
      break;
    case PanelMode::RemoveDivider:
      if (actions_.removeDevider) {
        actions_.removeDevider(*line);
      }
      break;
  }
  ClosePanel();
}

}  // namespace pelorin
