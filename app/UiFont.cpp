// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/UiFont.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

namespace pelorin {

namespace {

bool Usable(const QString& family) {
  return !QFontDatabase::styles(family).isEmpty();
}

}  // namespace

void UseReadableUiFont() {
  QString readable;
  for (const char* common : {"Segoe UI", "Tahoma", "Microsoft Sans Serif", "DejaVu Sans",
                             "Liberation Sans", "Noto Sans", "Arial"}) {
    if (Usable(QString::fromLatin1(common))) {
      readable = QString::fromLatin1(common);
      break;
    }
  }
  if (readable.isEmpty()) {
    return;  // none of them: the system's own choice is the best there is
  }
  // The names Windows gives its menus, dialogs and messages. A substitute is only drawn when the
  // face itself cannot be.
  for (const char* system : {"MS Shell Dlg", "MS Shell Dlg 2", "Segoe UI", "Tahoma",
                             "Microsoft Sans Serif", "MS Sans Serif"}) {
    const QString name = QString::fromLatin1(system);
    if (!Usable(name)) {
      QFont::insertSubstitution(name, readable);
    }
  }
  QFont font = QApplication::font();
  if (!Usable(font.family())) {
    font.setFamilies({readable});
    QApplication::setFont(font);
  }
}

}  // namespace pelorin
