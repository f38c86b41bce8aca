// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAccessible>
#include <QImage>
#include <QTest>

#include "qtsupport/InputCodes.h"
#include "splitter/DragBar.h"
#include "splitter/SplitterError.h"
#include "splitter/SplitterHandle.h"
#include "splitter/cSplitter.h"

namespace pelorin {
namespace {

// A 600 x 300 container at (10, 20) of a window, two panes, bar at 200. The drag reads `cursor`.
struct Rig : cSplitter {
  QWidget window;
  QWidget* container = new QWidget(&window);
  QWidget* left = new QWidget(container);
  QWidget* right = new QWidget(container);
  QPoint cursor;

  explicit Rig(int orientation = OrientationVertical) {
    window.resize(640, 360);
    container->setGeometry(10, 20, 600, 300);
    SetCursorSource([this] { return cursor; });
    SetOrientation(orientation);
    Bind(left, right);
    SetPosition(200);
    SetFullDrag(false);
  }
  // Puts the cursor at (x, y) of the container and reports the event there.
  void Mouse(void (cSplitter::*handler)(int, int, float, float), int x, int y,
             int button = kLeftButton) {
    cursor = container->mapToGlobal(QPoint(x, y));
    (this->*handler)(button, 0, static_cast<float>(x), static_cast<float>(y));
  }
  void Down(int x, int y, int button = kLeftButton) { Mouse(&cSplitter::MouseDown, x, y, button); }
  void Move(int x, int y) { Mouse(&cSplitter::MouseMove, x, y); }
  void Up(int x, int y) { Mouse(&cSplitter::MouseUp, x, y); }
  QImage Shot() { return window.grab().toImage().convertToFormat(QImage::Format_RGB32); }
  DragBar* Bar() const { return container->findChild<DragBar*>(); }
};

// The number and source of the SplitterError f throws.
template <class F>
std::string Error(F f) try {
  f();
  return "none";
} catch (const SplitterError& error) {
  return std::to_string(error.number()) + " " + error.source();
}

TEST(SplitterLayout, PositionIsClampedAndPanelOneKeepsItsMinimumInATinyContainer) {
  Rig rig;
  EXPECT_EQ(rig.right->geometry(), QRect(204, 0, 396, 300));
  rig.SetPosition(3);
  EXPECT_EQ(rig.Position(), 8);
  rig.SetPosition(595);
  EXPECT_EQ(rig.right->geometry(), QRect(592, 0, 8, 300));

  rig.container->resize(10, 300);
  rig.SetPosition(201);
  EXPECT_EQ(rig.left->geometry(), QRect(0, 0, 8, 300));
  EXPECT_EQ(rig.right->geometry(), QRect(592, 0, 8, 300))
      << "a move to -2 pixels is refused, not half done";
}

TEST(SplitterLayout, KeepProportionRoundsHalvesToEvenAndAMaximumWaitsForTheNextLayout) {
  Rig rig;
  rig.SetMaximumSize(cSplitter::PanelLeftTop, 150);
  rig.Resize();
  EXPECT_EQ(rig.left->width(), 200) << "a layout that does not clamp leaves the bar";
  rig.SetKeepProportion(true);
  rig.SetProportion(25);
  for (const auto& [width, expected] : {std::pair{401, 100}, {402, 100}, {406, 102}}) {
    rig.container->resize(width, 300);
    rig.Resize();
    EXPECT_EQ(rig.left->width(), expected) << "width " << width;
  }
  rig.SetProportion(50);
  EXPECT_EQ(rig.left->width(), 150);
}

TEST(SplitterProperties, InvalidValuesRaiseNumberedErrorsAndChangeNothing) {
  Rig rig;
  rig.SetProportion(100);
  for (const auto& [value, proportion] : {std::pair{0, 100.5F}, {3, -0.1F}}) {
    EXPECT_EQ(Error([&] { rig.SetProportion(proportion); }), "380 test_splitter.cSplitter");
    EXPECT_EQ(Error([&] { rig.SetOrientation(value); }), "380 test_splitter.cSplitter");
    EXPECT_EQ(Error([&] { rig.SetMinimumSize(value, 1); }), "9 test_splitter.cSplitter");
    EXPECT_EQ(Error([&] { rig.MaximumSize(value); }), "9 test_splitter.cSplitter");
  }
  EXPECT_EQ(rig.Proportion(), 100.0F);
  EXPECT_EQ(rig.Orientation(), cSplitter::OrientationVertical);
}

TEST(SplitterBind, AdoptsTheLeftPanesParentAndMovesTheRightPaneIn) {
  QWidget host;
  host.resize(100, 300);
  auto* stray = new QWidget;  // a window of its own until bound
  cSplitter splitter;
  splitter.Bind(new QWidget(&host), stray);
  EXPECT_EQ(stray->parentWidget(), &host);
  EXPECT_FALSE(stray->isHidden()) << "a moved pane shows with its new parent";
  EXPECT_EQ(stray->geometry(), QRect(0, 132, 100, 168));  // default position 128
}

TEST(SplitterDrag, OnlyTheLeftButtonDragsAndACancelledDragLeavesNoState) {
  Rig rig;
  int asked = 0;
  QObject::connect(&rig, &cSplitter::BeforeDrag, [&](float&, float&, bool& c) { c = ++asked > 0; });
  for (int button : {kRightButton, kMiddleButton, kLeftButton}) {
    rig.Down(202, 50, button);
    EXPECT_EQ(rig.Bar(), nullptr);
    rig.Move(300, 50);
    rig.Up(300, 50);
    EXPECT_EQ(rig.left->width(), 200) << "button " << button;
  }
  EXPECT_EQ(asked, 1) << "only the left button starts a drag";
}

TEST(SplitterDrag, BarModeMovesThePanesAndTheProportionOnlyAtRelease) {
  Rig rig;
  rig.Down(202, 50);
  rig.Move(262, 80);
  ASSERT_TRUE(rig.Bar() != nullptr && !rig.Bar()->isHidden());
  EXPECT_EQ(rig.Bar()->geometry(), QRect(260, 0, 4, 300));
  EXPECT_EQ(rig.left->width(), 200);
  EXPECT_FLOAT_EQ(rig.Proportion(), 100.0F * 200 / 600);
  rig.Up(252, 80);
  EXPECT_EQ(rig.right->geometry(), QRect(254, 0, 346, 300));
  EXPECT_FLOAT_EQ(rig.Proportion(), 100.0F * 250 / 600);
}

TEST(SplitterDrag, LiveModeMovesThePanesOnEveryMoveAndStopsAtTheLimit) {
  Rig rig(cSplitter::OrientationHorizontal);
  rig.SetFullDrag(true);
  rig.Down(40, 201);
  for (const auto& [y, height] : {std::pair{231, 230}, {151, 150}, {2000, 288}}) {
    rig.Move(90, y);
    EXPECT_EQ(rig.left->height(), height) << "cursor at " << y;
  }
  EXPECT_FLOAT_EQ(rig.Proportion(), 100.0F * 200 / 300);
  rig.Up(90, 2000);
  EXPECT_FLOAT_EQ(rig.Proportion(), 100.0F * 288 / 300);
}

TEST(SplitterHandle, FollowsTheBarLetsTheMouseThroughAndMovesItWithinItsLimits) {
  Rig rig;
  SplitterHandle handle(rig);
  EXPECT_EQ(handle.geometry(), QRect(200, 0, 4, 300));
  // The container still finds no child over the bar, so its events stay the bar's.
  EXPECT_EQ(rig.container->childAt(202, 50), nullptr);
  rig.Down(202, 50);
  rig.Up(262, 50);
  EXPECT_EQ(handle.geometry(), QRect(260, 0, 4, 300));

  for (const auto& [key, modifiers, position] : {std::tuple(Qt::Key_Left, Qt::NoModifier, 250),
                                                 std::tuple(Qt::Key_Down, Qt::NoModifier, 260),
                                                 std::tuple(Qt::Key_Left, Qt::ControlModifier, 160),
                                                 std::tuple(Qt::Key_PageDown, Qt::NoModifier, 260),
                                                 std::tuple(Qt::Key_Home, Qt::NoModifier, 8),
                                                 std::tuple(Qt::Key_End, Qt::NoModifier, 588)}) {
    QTest::keyClick(&handle, key, modifiers);
    EXPECT_EQ(std::pair(rig.Position(), rig.left->width()), std::pair(position, position)) << key;
  }
  EXPECT_EQ(handle.x(), 588);
  // Assistive technologies read and set the position as the handle's value.
  QAccessibleValueInterface* value =
      QAccessible::queryAccessibleInterface(&handle)->valueInterface();
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->currentValue().toInt(), 588);
  EXPECT_EQ(std::pair(value->minimumValue().toInt(), value->maximumValue().toInt()),
            std::pair(8, 588))
      << "the range read is the one the panes' limits leave";
  value->setCurrentValue(300);
  EXPECT_EQ(rig.left->width(), 300);
}

TEST(SplitterDragBar, InvertsEveryOtherPixelBeneathAndLeavesNoTrace) {
  Rig rig;
  rig.window.show();
  const QImage before = rig.Shot();
  rig.Down(202, 50);
  rig.Move(302, 50);  // the bar lies over the right pane, window x 310 to 313
  const QImage during = rig.Shot();
  const QRect bar(310, 20, 4, 300);
  const auto inverted = [&](int x, int y) {
    return (during.pixel(x, y) & 0xFFFFFFu) == (~before.pixel(x, y) & 0xFFFFFFu);
  };
  const bool phase = inverted(bar.left(), bar.top());  // the pattern may start on either pixel
  for (int y = 0; y < during.height(); ++y) {
    for (int x = 0; x < during.width(); ++x) {
      const bool flip = bar.contains(x, y) && ((x + y - bar.left() - bar.top()) % 2 == 0) == phase;
      ASSERT_TRUE(flip ? inverted(x, y) : during.pixel(x, y) == before.pixel(x, y))
          << x << "," << y;
    }
  }
  rig.Up(202, 50);
  EXPECT_EQ(rig.Shot(), before);
}

}  // namespace
}  // namespace pelorin
