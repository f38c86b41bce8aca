// The help pages' addresses, and that each Help command hands its page to the desktop.

#include <gtest/gtest.h>

#include <QDesktopServices>
#include <QObject>
#include <QUrl>

#include "app/HelpHosts.h"
#include "app/HelpLinks.h"

namespace pelorin {
namespace {

class UrlRecorder : public QObject {
  Q_OBJECT

 public:
  QList<QUrl> urls;

 public slots:
  void Open(const QUrl& url) { urls << url; }
};

TEST(HelpLinks, PagesLieOnTheForumAndTheMakersHost) {
  const QString forum = QStringLiteral("https://") + kHelpForumHost;
  EXPECT_EQ(HelpPageUrl(HelpPage::OnlineHelp), QUrl(forum + "/group/pelorin"));
  EXPECT_EQ(HelpPageUrl(HelpPage::Guide), QUrl(forum + "/group/pelorin/web/users-guide"));
  EXPECT_EQ(HelpPageUrl(HelpPage::Quick), QUrl(forum + "/group/pelorin/web/quick-help"));
  EXPECT_EQ(HelpPageUrl(HelpPage::Add), HelpPageUrl(HelpPage::Quick));
  const QUrl home = HelpPageUrl(HelpPage::Homepage);
  EXPECT_EQ(home.toString(), QStringLiteral("https://") + kHomepageHost);
  EXPECT_TRUE(home.path().isEmpty());
}

TEST(HelpLinks, EachCommandOpensItsPage) {
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("https", &recorder, "Open");
  OpenVantreehomepage();
  OpenOnlineHelp();
  OpenHelpGuide();
  OpenHelpQuick();
  OpenHelpAdd();
  QDesktopServices::unsetUrlHandler("https");
  EXPECT_EQ(recorder.urls,
            QList<QUrl>({HelpPageUrl(HelpPage::Homepage), HelpPageUrl(HelpPage::OnlineHelp),
                         HelpPageUrl(HelpPage::Guide), HelpPageUrl(HelpPage::Quick),
                         HelpPageUrl(HelpPage::Quick)}));
}

}  // namespace
}  // namespace pelorin

#include "test_help_links.moc"
