#include "prefs/EditorFont.h"

#include <QFontDatabase>
#include <QSet>
#include <algorithm>

namespace pelorin {

namespace {

constexpr int kDefaultPoints = 12;
constexpr int kMaxPoints = 1638;  // the largest size the platform's font dialog offers

bool FamilyInstalled(const QString& name) {
  // Listing the families is the slow part: once per run.
  static const QSet<QString> families = [] {
    QSet<QString> set;
    for (const QString& family : QFontDatabase::families()) {
      set.insert(family.toCaseFolded());
    }
    return set;
  }();
  return families.contains(name.toCaseFolded());
}

}  // namespace

QFont ResolveEditorFont(const QString& name, qint16 size) {
  QFont font = !name.isEmpty() && FamilyInstalled(name)
                   ? QFont(name)
                   : QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setPointSize(size < 1 ? kDefaultPoints : std::min<int>(size, kMaxPoints));
  return font;
}

}  // namespace pelorin
