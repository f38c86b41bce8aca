// SPDX-License-Identifier: GPL-3.0-or-later
// The help pages' addresses, and that each Help command hands its page to the desktop.

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>

#include "app/HelpHosts.h"
#include "app/HelpLinks.h"

namespace pelorin {

struct UrlRecorder : QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
  Q_INVOKABLE void Open(const QUrl& url) { urls << url; }
};

TEST(HelpLinks, EachCommandOpensItsPageOnTheForumOrTheMakersHost) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "Open");
  for (auto open : {OpenVantreehomepage, OpenOnlineHelp, OpenHelpGuide, OpenHelpQuick, OpenHelpAdd})
    open();
  QDesktopServices::unsetUrlHandler("https");
  // Adding commands shares the quick-help page.
  const QString forum = QStringLiteral("https://") + kHelpForumHost + "/group/pelorin";
  EXPECT_EQ(recorder.urls, QList<QUrl>({QStringLiteral("https://") + kHomepageHost, forum,
                                        forum + "/web/users-guide", forum + "/web/quick-help",
                                        forum + "/web/quick-help"}));
}

}  // namespace pelorin

#include "test_help_links.moc"
