// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The Help menu's pages, opened in the user's web browser. Nothing waits for the browser and
// no failure is reported.

#include <QUrl>

namespace pelorin {

enum class HelpPage { Homepage, OnlineHelp, Guide, Quick, Add };

// The address of a page, on the hosts set at configure time.
QUrl HelpPageUrl(HelpPage page);

void OpenVantreehomepage();
void OpenOnlineHelp();
void OpenHelpGuide();
void OpenHelpQuick();
void OpenHelpAdd();

}  // namespace pelorin
