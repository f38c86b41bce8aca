// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/StartupDir.h"

namespace pelorin {

QString StartupDirectory(const QStringList& arguments, const QString& PrefStartDir) {
  QString text = arguments.join(QLatin1Char(' '));
  if (text.isEmpty()) {
    return PrefStartDir;
  }
  if (text.endsWith(QChar(u'\0'))) {
    text.chop(1);
  }
  if (text.startsWith(QLatin1Char('"'))) {
    text.remove(0, 1);
  }
  if (text.endsWith(QLatin1Char('"'))) {
    text.chop(1);
  }
  return text;
}

}  // namespace pelorin
