// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// For the editor's own files: lifts the surface's read-only state for the program's own edits.

#include "editor/ConsoleSurface.h"

namespace pelorin {

// Restores the read-only state on leaving, however the scope is left.
class WritableScope {
 public:
  explicit WritableScope(ConsoleSurface* surface)
      : surface_(surface), wasReadOnly_(surface->Send(QsciScintillaBase::SCI_GETREADONLY) != 0) {
    if (wasReadOnly_) {
      surface_->Send(QsciScintillaBase::SCI_SETREADONLY, 0);
    }
  }
  ~WritableScope() {
    if (wasReadOnly_) {
      surface_->Send(QsciScintillaBase::SCI_SETREADONLY, 1);
    }
  }
  WritableScope(const WritableScope&) = delete;
  WritableScope& operator=(const WritableScope&) = delete;

 private:
  ConsoleSurface* surface_;
  bool wasReadOnly_;
};

}  // namespace pelorin
