#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QImage>
#include <QMouseEvent>
#include <QWindow>
#include <cmath>
#include <limits>

#include "splitter/DragBar.h"
#include "splitter/SplitterError.h"
#include "splitter/cSplitter.h"

namespace pelorin {
namespace {

// A window holding a 600 x 300 container at (10, 20) with two panes, bound as the main window
// binds its splitter. The drag reads the cursor from `cursor`.
struct Rig {
  QWidget window;
  QWidget* container = new QWidget(&window);
  QWidget* left = new QWidget(container);
  QWidget* right = new QWidget(container);
  cSplitter splitter;
  QPoint cursor;

  explicit Rig(int orientation = cSplitter::OrientationVertical) {
    window.resize(640, 360);
    container->setGeometry(10, 20, 600, 300);
    Paint(container, QColor(0x20, 0x60, 0xA0));
    Paint(left, QColor(0xF0, 0xE0, 0x10));
    Paint(right, QColor(0x30, 0xC0, 0x50));
    splitter.SetCursorSource([this] { return cursor; });
    splitter.SetOrientation(orientation);
    splitter.SetContainer(container);
    splitter.Bind(left, right);
    splitter.SetPosition(200);
  }
  static void Paint(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
  }
  // Moves the cursor to (x, y) of the container and reports a mouse event there.
  void Down(int x, int y, int button = 1) {
    cursor = container->mapToGlobal(QPoint(x, y));
    splitter.MouseDown(button, 0, static_cast<float>(x), static_cast<float>(y));
  }
  void Move(int x, int y) {
    cursor = container->mapToGlobal(QPoint(x, y));
    splitter.MouseMove(1, 0, static_cast<float>(x), static_cast<float>(y));
  }
  void Up(int x, int y) {
    cursor = container->mapToGlobal(QPoint(x, y));
    splitter.MouseUp(1, 0, static_cast<float>(x), static_cast<float>(y));
  }
  DragBar* Bar() const { return container->findChild<DragBar*>(); }
  bool BarShown() const { return Bar() != nullptr && !Bar()->isHidden(); }
};

// The number of the SplitterError f throws (0 if none); every one names its source.
template <class F>
int ErrorNumber(F f) {
  try {
    f();
  } catch (const SplitterError& error) {
    EXPECT_EQ(error.source(), "test_splitter.cSplitter");
    return error.number();
  }
  return 0;
}

TEST(SplitterLayout, PanesFillTheContainerOnEitherSideOfTheBar) {
  Rig vertical;
  EXPECT_EQ(vertical.left->geometry(), QRect(0, 0, 200, 300));
  EXPECT_EQ(vertical.right->geometry(), QRect(204, 0, 396, 300));

  Rig horizontal(cSplitter::OrientationHorizontal);
  EXPECT_EQ(horizontal.left->geometry(), QRect(0, 0, 600, 200));
  EXPECT_EQ(horizontal.right->geometry(), QRect(0, 204, 600, 96));
  horizontal.splitter.SetSplitterSize(10);
  EXPECT_EQ(horizontal.right->geometry(), QRect(0, 210, 600, 90));
}

TEST(SplitterLayout, PositionIsClampedInOrderSoMinimumsWin) {
  Rig rig;
  rig.splitter.SetPosition(3);
  EXPECT_EQ(rig.splitter.Position(), 8);
  rig.splitter.SetPosition(595);
  EXPECT_EQ(rig.splitter.Position(), 588);
  EXPECT_EQ(rig.right->geometry(), QRect(592, 0, 8, 300));

  rig.splitter.SetMaximumSize(1, 100);
  rig.splitter.SetMinimumSize(1, 150);
  rig.splitter.SetPosition(50);
  EXPECT_EQ(rig.splitter.Position(), 150) << "panel 1's minimum beats its maximum";

  rig.splitter.SetMaximumSize(1, 0);
  rig.splitter.SetMaximumSize(2, 50);
  rig.splitter.SetMinimumSize(2, 100);
  rig.splitter.SetPosition(300);
  EXPECT_EQ(rig.splitter.Position(), 496) << "panel 2's minimum beats its maximum";
}

TEST(SplitterLayout, TinyContainerKeepsPanelOneMinimumAndLeavesPanelTwoWhereItWas) {
  Rig rig;
  const QRect before = rig.right->geometry();
  rig.container->resize(10, 300);
  rig.splitter.SetPosition(201);  // a different value, so the setter clamps
  EXPECT_EQ(rig.splitter.Position(), 8);
  EXPECT_EQ(rig.left->geometry(), QRect(0, 0, 8, 300));
  EXPECT_EQ(rig.right->geometry(), before) << "a move to -2 pixels is refused, not half done";
}

TEST(SplitterLayout, KeepProportionRoundsHalvesToEven) {
  Rig rig;
  rig.splitter.SetProportion(25);
  rig.splitter.SetKeepProportion(true);
  for (const auto& [width, expected] :
       {std::pair{401, 100}, {402, 100}, {406, 102}, {410, 102}, {414, 104}}) {
    rig.container->resize(width, 300);
    rig.splitter.Resize();
    EXPECT_EQ(rig.splitter.Position(), expected) << "width " << width;
    EXPECT_EQ(rig.left->width(), expected);
  }
  rig.splitter.SetKeepProportion(false);
  rig.container->resize(800, 300);
  rig.splitter.Resize();
  EXPECT_EQ(rig.splitter.Position(), 104) << "without KeepProportion the bar stays";
  EXPECT_EQ(rig.right->geometry(), QRect(108, 0, 692, 300));
}

TEST(SplitterLayout, MaximumWaitsForTheNextLayoutThatClamps) {
  Rig rig;
  rig.splitter.SetMaximumSize(1, 150);
  rig.splitter.Resize();
  rig.splitter.SetSplitterSize(6);
  EXPECT_EQ(rig.left->width(), 200);
  rig.splitter.SetKeepProportion(true);
  rig.splitter.Resize();
  EXPECT_EQ(rig.left->width(), 150);

  Rig byPosition;
  byPosition.splitter.SetMaximumSize(1, 150);
  byPosition.splitter.SetPosition(199);
  EXPECT_EQ(byPosition.left->width(), 150);
}

TEST(SplitterProperties, ProportionAcceptsZeroToHundredAndFollowsThePosition) {
  Rig rig;
  EXPECT_FLOAT_EQ(rig.splitter.Proportion(), 100.0F * 200 / 600);
  rig.splitter.SetProportion(100);
  EXPECT_EQ(rig.splitter.Proportion(), 100.0F);
  EXPECT_EQ(rig.splitter.Position(), 200) << "without KeepProportion the bar does not move";
  for (float bad : {100.5F, -0.1F, std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.SetProportion(bad); }), 380) << bad;
  }
  EXPECT_EQ(rig.splitter.Proportion(), 100.0F);

  rig.splitter.SetMinimumSize(2, 0);
  rig.splitter.SetPosition(900);  // past the end: the fraction goes above 1, the getter caps it
  EXPECT_EQ(rig.splitter.Proportion(), 100.0F);

  rig.container->resize(0, 300);
  rig.splitter.SetPosition(50);
  EXPECT_EQ(rig.splitter.Proportion(), 100.0F) << "an empty container keeps the old proportion";
}

TEST(SplitterProperties, InvalidValuesRaiseErrorsAndChangeNothing) {
  Rig rig;
  EXPECT_EQ(ErrorNumber([&] { rig.splitter.SetSplitterSize(-1); }), 380);
  EXPECT_EQ(rig.splitter.SplitterSize(), 4);
  for (int orientation : {0, 3, -1}) {
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.SetOrientation(orientation); }), 380);
  }
  EXPECT_EQ(rig.splitter.Orientation(), 2);
  for (int panel : {0, 3}) {
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.SetMinimumSize(panel, 1); }), 9);
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.SetMaximumSize(panel, 1); }), 9);
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.MinimumSize(panel); }), 9);
    EXPECT_EQ(ErrorNumber([&] { rig.splitter.MaximumSize(panel); }), 9);
  }
  EXPECT_EQ(rig.splitter.MinimumSize(1), 8);
  EXPECT_EQ(rig.splitter.MaximumSize(2), -1);
  EXPECT_EQ(rig.right->geometry(), QRect(204, 0, 396, 300));
}

TEST(SplitterBind, AdoptsTheLeftPanesParentAndMovesTheRightPaneIn) {
  QWidget host;
  host.resize(300, 100);
  auto* left = new QWidget(&host);
  QWidget right;  // a window of its own until bound
  auto* stray = new QWidget(&right);
  {
    cSplitter splitter;
    splitter.SetOrientation(2);
    splitter.Bind(left, stray);
    EXPECT_EQ(splitter.Container(), &host);
    EXPECT_EQ(stray->parentWidget(), &host);
    EXPECT_FALSE(stray->isHidden()) << "a moved pane shows with its new parent";
    EXPECT_EQ(stray->geometry(), QRect(132, 0, 168, 100));  // default position 128
  }
  host.show();
  EXPECT_TRUE(stray->isVisible());
}

TEST(SplitterDrag, OnlyTheLeftButtonStartsADragButAnyMoveShowsTheSizingCursor) {
  Rig rig;
  rig.Move(202, 50);
  EXPECT_EQ(rig.container->cursor().shape(), Qt::SizeHorCursor);
  EXPECT_EQ(rig.left->cursor().shape(), Qt::ArrowCursor) << "panes keep their own cursor";
  rig.Up(202, 50);  // no drag running: nothing happens
  for (int button : {2, 4}) {
    rig.Down(202, 50, button);
    rig.Move(300, 50);
    rig.Up(300, 50);
    EXPECT_EQ(rig.splitter.Position(), 200);
    EXPECT_EQ(rig.left->width(), 200);
  }
  Rig across(cSplitter::OrientationHorizontal);
  across.Move(50, 202);
  EXPECT_EQ(across.container->cursor().shape(), Qt::SizeVerCursor);
}

TEST(SplitterDrag, BarModeMovesThePanesOnlyAtRelease) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  const float proportion = rig.splitter.Proportion();
  rig.Down(202, 50);
  ASSERT_TRUE(rig.BarShown());
  EXPECT_EQ(rig.Bar()->geometry(), QRect(200, 0, 4, 300));
  rig.Move(262, 80);
  EXPECT_EQ(rig.Bar()->geometry(), QRect(260, 0, 4, 300));
  EXPECT_EQ(rig.left->width(), 200);
  EXPECT_EQ(rig.right->x(), 204);
  EXPECT_EQ(rig.splitter.Proportion(), proportion);
  rig.Up(252, 80);
  EXPECT_FALSE(rig.BarShown());
  EXPECT_EQ(rig.left->width(), 250);
  EXPECT_EQ(rig.right->geometry(), QRect(254, 0, 346, 300));
  EXPECT_FLOAT_EQ(rig.splitter.Proportion(), 100.0F * 250 / 600);
}

TEST(SplitterDrag, LiveModeMovesThePanesOnEveryMoveAndTheProportionAtRelease) {
  Rig rig(cSplitter::OrientationHorizontal);
  const float proportion = rig.splitter.Proportion();
  rig.Down(40, 201);
  rig.Move(90, 231);
  EXPECT_EQ(rig.left->height(), 230);
  EXPECT_EQ(rig.right->y(), 234);
  rig.Move(90, 151);
  EXPECT_EQ(rig.left->height(), 150);
  EXPECT_FALSE(rig.BarShown());
  EXPECT_EQ(rig.splitter.Proportion(), proportion);
  rig.Up(90, 161);
  EXPECT_EQ(rig.left->height(), 160);
  EXPECT_FLOAT_EQ(rig.splitter.Proportion(), 100.0F * 160 / 300);
}

TEST(SplitterDrag, PastALimitTheBarStopsAndTheCursorIsHeldInsideTheContainer) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  rig.Down(202, 50);
  rig.Move(598, 50);
  EXPECT_EQ(rig.Bar()->x(), 588);
  rig.Move(2000, 50);
  EXPECT_EQ(rig.Bar()->x(), 588);
  rig.Up(2000, 50);
  EXPECT_EQ(rig.splitter.Position(), 588);

  rig.splitter.SetMinimumSize(2, 0);
  rig.Down(590, 50);
  rig.Up(5000, 50);  // held at the container's last pixel, 599: 9 pixels of travel
  EXPECT_EQ(rig.splitter.Position(), 597);
}

TEST(SplitterDrag, BeforeDragSeesTheMouseDownAndCanCancel) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  float seenX = 0;
  float seenY = 0;
  bool cancel = true;
  QObject::connect(&rig.splitter, &cSplitter::BeforeDrag, [&](float& x, float& y, bool& bCancel) {
    seenX = x;
    seenY = y;
    EXPECT_FALSE(bCancel);
    bCancel = cancel;
  });
  rig.Down(201, 77);
  EXPECT_EQ(seenX, 201.0F);
  EXPECT_EQ(seenY, 77.0F);
  EXPECT_FALSE(rig.BarShown());
  const float proportion = rig.splitter.Proportion();
  rig.splitter.SetKeepProportion(false);
  rig.Move(300, 77);
  rig.Up(300, 77);
  EXPECT_EQ(rig.left->width(), 200);
  EXPECT_EQ(rig.splitter.Proportion(), proportion);

  cancel = false;
  rig.Down(201, 77);
  EXPECT_TRUE(rig.BarShown());
  rig.Up(221, 77);
  EXPECT_EQ(rig.left->width(), 220);
}

TEST(SplitterDrag, SwitchingToLiveMidDragTakesTheBarAway) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  rig.Down(202, 50);
  ASSERT_TRUE(rig.BarShown());
  rig.splitter.SetFullDrag(true);
  EXPECT_FALSE(rig.BarShown());
  rig.Move(252, 50);
  EXPECT_EQ(rig.left->width(), 250);
  rig.Up(252, 50);
}

QImage Shot(QWidget& widget) {
  return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

bool IsInverse(QRgb a, QRgb b) {
  return (a & 0xFFFFFFu) == (~b & 0xFFFFFFu);
}

TEST(SplitterDragBar, InvertsEveryOtherPixelBeneathAndLeavesNoTrace) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  rig.window.show();
  const QImage before = Shot(rig.window);
  rig.Down(202, 50);
  rig.Move(302, 50);  // the bar now lies over the right pane, window x 310 to 313
  const QImage during = Shot(rig.window);
  const QRect bar(310, 20, 4, 300);
  int inverted = 0;
  for (int y = 0; y < during.height(); ++y) {
    for (int x = 0; x < during.width(); ++x) {
      const QRgb now = during.pixel(x, y);
      const QRgb under = before.pixel(x, y);
      if (!bar.contains(x, y)) {
        ASSERT_EQ(now, under) << "outside the bar, at " << x << "," << y;
        continue;
      }
      const bool flipped = IsInverse(now, under);
      ASSERT_TRUE(flipped || now == under) << x << "," << y;
      if (x > bar.left()) {
        ASSERT_NE(flipped, IsInverse(during.pixel(x - 1, y), before.pixel(x - 1, y)));
      }
      if (y > bar.top()) {
        ASSERT_NE(flipped, IsInverse(during.pixel(x, y - 1), before.pixel(x, y - 1)));
      }
      inverted += flipped ? 1 : 0;
    }
  }
  EXPECT_EQ(inverted, 4 * 300 / 2);
  rig.Up(202, 50);
  EXPECT_EQ(Shot(rig.window), before);
}

// Events reach the window as the platform delivers them; Qt routes them to the widgets.
struct WindowMouse {
  Rig& rig;
  void operator()(QEvent::Type type, QPoint inContainer, Qt::MouseButton button,
                  Qt::MouseButtons buttons) const {
    const QPoint inWindow = rig.container->mapTo(&rig.window, inContainer);
    rig.cursor = rig.window.mapToGlobal(inWindow);
    QMouseEvent event(type, inWindow, rig.cursor, button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(rig.window.windowHandle(), &event);
  }
};

TEST(SplitterEvents, TheContainersMouseAndResizeEventsDriveTheSplitter) {
  Rig rig;
  rig.splitter.SetFullDrag(false);
  rig.splitter.ForwardEventsFrom(rig.container);
  rig.window.show();
  const WindowMouse mouse{rig};
  mouse(QEvent::MouseMove, {202, 50}, Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(rig.container->cursor().shape(), Qt::SizeHorCursor);

  mouse(QEvent::MouseButtonPress, {202, 50}, Qt::LeftButton, Qt::LeftButton);
  ASSERT_TRUE(rig.BarShown());
  mouse(QEvent::MouseMove, {352, 60}, Qt::NoButton, Qt::LeftButton);  // over the right pane
  EXPECT_EQ(rig.Bar()->x(), 350) << "the container keeps the mouse while its button is down";
  EXPECT_EQ(rig.left->width(), 200);
  mouse(QEvent::MouseButtonRelease, {352, 60}, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(rig.BarShown());
  EXPECT_EQ(rig.left->width(), 350);

  // A press a pane ignores reaches the container too, but it is not a press on the bar.
  mouse(QEvent::MouseButtonPress, {100, 50}, Qt::LeftButton, Qt::LeftButton);
  mouse(QEvent::MouseMove, {150, 50}, Qt::NoButton, Qt::LeftButton);
  EXPECT_FALSE(rig.BarShown());
  mouse(QEvent::MouseButtonRelease, {150, 50}, Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(rig.left->width(), 350);

  rig.splitter.SetKeepProportion(true);
  rig.container->resize(300, 300);
  EXPECT_EQ(rig.left->width(), 175);
}

}  // namespace
}  // namespace pelorin
