#include "editor/BottomPanel.h"

#include <QFontDatabase>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <algorithm>

#include "app/CommandBar.h"
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

}  // namespace

BottomPanel::BottomPanel(CommandBar& commandBar, const BottomPanels& panels, QLineEdit& TextGoto,
                         ConsoleEditor& editor, Actions actions)
    : commandBar_(commandBar),
      panels_(panels),
      TextGoto_(TextGoto),
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
}

void BottomPanel::ShowBottomPanel(int mode) {
  lPanelMode_ = mode;
  commandBar_.Element(1)->SetVisible(true);
  if (actions_.relayout) {
    actions_.relayout();
  }
  Bar* bar = commandBar_.FindBar(QStringLiteral("BOTTOMbar"));
  bar->Clear();
  BarItem* const items[] = {panels_.GotoPanel, panels_.AddDevPanel, panels_.RemoveDevPanel};
  if (mode >= 1 && mode <= 3) {
    bar->Append(items[mode - 1]);
    TextGoto_.move(LeftEdge(mode), TextGoto_.y());
  }
  TextGoto_.move(TextGoto_.x(), TwipsToPixels(kTopTwips, TextGoto_.logicalDpiY()));
  TextGoto_.raise();
  TextGoto_.setFocus();
  TextGoto_.clear();
}

int BottomPanel::LeftEdge(int mode) const {
  int left = TwipsToPixels(kLeftTwips[mode - 1], TextGoto_.logicalDpiX());
  // The edges suit the captions in their intended face; where the system draws them wider, the
  // box still stands just behind its caption rather than over it.
  QWidget* row = commandBar_.Element(1);
  if (QLayout* layout = row->layout()) {
    layout->activate();
  }
  for (const QLabel* caption : row->findChildren<QLabel*>()) {
    if (!caption->isHidden()) {
      left = std::max(left, caption->geometry().right() + 4);
    }
  }
  return left;
}

void BottomPanel::ClosePanel() {
  commandBar_.Element(1)->SetVisible(false);
  if (actions_.relayout) {
    actions_.relayout();
  }
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
    return;  // not the number of an existing line: the panel stays open, nothing is said
  }
  switch (lPanelMode_) {
    case 1:
      editor_.RunEditorCommand(168, *line);
      break;
    case 2:
      if (actions_.addDevider) {
        actions_.addDevider(*line);
      }
      break;
    case 3:
      if (actions_.removeDevider) {
        actions_.removeDevider(*line);
      }
      break;
    default:
      break;
  }
  ClosePanel();
}

}  // namespace pelorin
