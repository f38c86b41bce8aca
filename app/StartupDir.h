// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace pelorin {

// The start-up directory: the whole argument text (the arguments joined by one space), less a
// trailing NUL, then one leading and one trailing double quote; without arguments the stored
// preference.
QString StartupDirectory(const QStringList& arguments, const QString& PrefStartDir);

}  // namespace pelorin
