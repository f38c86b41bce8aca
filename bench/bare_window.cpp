// SPDX-License-Identifier: GPL-3.0-or-later
// The floor for the start-up benchmark: a bare window holding a QScintilla editor, started and
// shown the way the program shows its own window, with nothing else in it.
#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  window.setWindowTitle(QStringLiteral("bare window"));
  auto* layout = new QVBoxLayout(&window);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QsciScintilla(&window));
  window.resize(800, 600);
  window.show();
  return QApplication::exec();
}
