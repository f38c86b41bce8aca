// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>

#include "app/UiFont.h"
#include "app/frmShell.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Pelorin"));
  pelorin::UseReadableUiFont();
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();  // the program itself
  pelorin::frmShell shell(arguments);
  shell.show();
  return QApplication::exec();
}
