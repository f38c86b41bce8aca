// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/HelpLinks.h"

#include <QDesktopServices>

#include "app/HelpHosts.h"

namespace pelorin {

namespace {

QUrl ForumUrl(const char* path) {
  QUrl url;
  url.setScheme(QStringLiteral("https"));
  url.setHost(QString::fromLatin1(kHelpForumHost));
  url.setPath(QString::fromLatin1(path));
  return url;
}

void Open(HelpPage page) {
  // Fire and forget: a missing or failing browser leaves the window as it was.
  (void)QDesktopServices::openUrl(HelpPageUrl(page));
}

}  // namespace

QUrl HelpPageUrl(HelpPage page) {
  switch (page) {
    case HelpPage::Homepage: {
      QUrl url;  // the site's root, no path
      url.setScheme(QStringLiteral("https"));
      url.setHost(QString::fromLatin1(kHomepageHost));
      return url;
    }
    case HelpPage::OnlineHelp:
      return ForumUrl("/group/pelorin");
    case HelpPage::Guide:
      return ForumUrl("/group/pelorin/web/users-guide");
    case HelpPage::Quick:
    case HelpPage::Add:
      return ForumUrl("/group/pelorin/web/quick-help");
  }
  return {};
}

void OpenVantreehomepage() {
  Open(HelpPage::Homepage);
}
void OpenOnlineHelp() {
  Open(HelpPage::OnlineHelp);
}
void OpenHelpGuide() {
  Open(HelpPage::Guide);
}
void OpenHelpQuick() {
  Open(HelpPage::Quick);
}
void OpenHelpAdd() {
  Open(HelpPage::Add);
}

}  // namespace pelorin
