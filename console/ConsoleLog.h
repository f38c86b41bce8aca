// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The console's debug log (the Qt category "pelorin.console", off unless QT_LOGGING_RULES asks
// for it): what the window did that the surface does not say in words, such as a failure mark
// put in the margin or the folder tree following a cd.

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcConsole)
