// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/SplitterError.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace pelorin {

SplitterError::SplitterError(int number, const std::string& description)
    : std::runtime_error(description), number_(number), source_(SplitterErrorSource()) {}

std::string SplitterErrorSource() {
  QString name;
  if (QCoreApplication::instance() != nullptr) {
    name = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  }
  if (name.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
    name.chop(4);
  }
  if (name.isEmpty()) {
    name = QStringLiteral("pelorin");
  }
  return (name + QStringLiteral(".cSplitter")).toStdString();
}

}  // namespace pelorin
