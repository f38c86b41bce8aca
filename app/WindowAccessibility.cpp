// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowAccessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>

#include "app/frmShell.h"

namespace pelorin {

namespace {

QAccessibleInterface* WindowFactory(const QString& className, QObject* object) {
  if (object != nullptr && object->isWidgetType() &&
      className == QLatin1String(frmShell::staticMetaObject.className())) {
    return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
  }
  return nullptr;
}

}  // namespace

void InstallWindowAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(WindowFactory);
    return true;
  }();
  Q_UNUSED(installed);
}

}  // namespace pelorin
