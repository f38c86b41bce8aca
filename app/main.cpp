#include <QApplication>

#include "app/frmShell.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pelorin"));
  pelorin::frmShell shell;
  shell.show();
  return QApplication::exec();
}
