// A window split by a cSplitter in bar mode, to try the drag by hand. With a file name as its
// argument it starts a drag itself, saves a picture of the screen with the checkered bar halfway,
// and quits.

#include <QApplication>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTimer>

#include "splitter/cSplitter.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;  // the container
  window.setWindowTitle(QStringLiteral("cSplitter demo"));
  window.setGeometry(40, 40, 640, 400);
  auto* list = new QListWidget(&window);
  auto* text = new QPlainTextEdit(&window);
  for (int i = 1; i <= 30; ++i) {
    list->addItem(QStringLiteral("Folder %1").arg(i));
    text->appendPlainText(
        QStringLiteral("Line %1 of the console text, long enough to show.").arg(i));
  }
  pelorin::cSplitter splitter;
  splitter.SetOrientation(pelorin::cSplitter::OrientationVertical);
  splitter.SetFullDrag(false);
  splitter.Bind(list, text);
  splitter.SetPosition(200);
  splitter.SetKeepProportion(true);
  splitter.ForwardEventsFrom(&window);
  window.show();
  // Scripted drag: the cursor is reported, not moved, so the picture does not depend on where
  // the real pointer is.
  QPoint cursor;
  if (argc >= 2) {
    splitter.SetCursorSource([&cursor] { return cursor; });
    QTimer::singleShot(500, [&] {
      cursor = window.mapToGlobal(QPoint(202, 100));
      splitter.MouseDown(1, 0, 202, 100);
      cursor += QPoint(170, 0);
      splitter.MouseMove(1, 0, 372, 100);
    });
    QTimer::singleShot(1000, [&] {
      const QRect frame = window.geometry();
      const QPixmap shot =
          window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
      splitter.MouseUp(1, 0, 372, 100);
      QApplication::exit(shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1);
    });
  }
  return QApplication::exec();
}
