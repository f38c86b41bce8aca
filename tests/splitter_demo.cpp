// A window split by a cSplitter in bar mode, to try the drag by hand. With a file name as its
// argument it starts a drag itself, saves a picture of the screen with the checkered bar halfway,
// and quits.

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QScreen>
#include <QVBoxLayout>

#include "splitter/cSplitter.h"

namespace {

void Settle(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  }
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("cSplitter demo"));
  window.setGeometry(40, 40, 640, 400);
  auto* container = new QWidget(&window);
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(container);
  auto* list = new QListWidget(container);
  for (int i = 1; i <= 30; ++i) {
    list->addItem(QStringLiteral("Folder %1").arg(i));
  }
  auto* text = new QPlainTextEdit(container);
  for (int i = 1; i <= 30; ++i) {
    text->appendPlainText(
        QStringLiteral("Line %1 of the console text, long enough to show.").arg(i));
  }

  layout->activate();  // the container has its real size before the splitter measures it

  pelorin::cSplitter splitter;
  splitter.SetOrientation(pelorin::cSplitter::OrientationVertical);
  splitter.SetContainer(container);
  splitter.SetFullDrag(false);
  splitter.Bind(list, text);
  splitter.SetPosition(200);
  splitter.SetKeepProportion(true);
  splitter.ForwardEventsFrom(container);
  window.show();
  if (argc < 2) {
    return QApplication::exec();
  }

  // Scripted drag: the cursor is reported, not moved, so the picture does not depend on where
  // the real pointer is.
  QPoint cursor = container->mapToGlobal(QPoint(202, 100));
  splitter.SetCursorSource([&cursor] { return cursor; });
  Settle(500);
  splitter.MouseDown(1, 0, 202, 100);
  cursor += QPoint(170, 0);
  splitter.MouseMove(1, 0, 372, 100);
  Settle(500);
  const QRect frame = window.geometry();
  const QPixmap shot =
      window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  splitter.MouseUp(1, 0, 372, 100);
  return shot.save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
