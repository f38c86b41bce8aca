#pragma once

// The console surface's font from the stored face name and size.

#include <QFont>
#include <QString>
#include <QtGlobal>

namespace pelorin {

// A family the system lacks gives the system's fixed-width font at once, instead of Qt's slow
// search for a substitute. Sizes below 1 give 12 points; sizes above 1638 give 1638.
QFont ResolveEditorFont(const QString& name, qint16 size);

}  // namespace pelorin
