// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/StartupDir.h"
#include "app/WindowLayout.h"

namespace pelorin {
namespace {

TEST(StartupDirectory, ArgumentsQuotesAndTheStoredFallback) {
  EXPECT_EQ(StartupDirectory({"\"/tmp/with space\""}, "/"), "/tmp/with space");
  EXPECT_EQ(StartupDirectory({"/tmp/with", "space"}, "/"), "/tmp/with space")
      << "several arguments form one path";
  EXPECT_EQ(StartupDirectory({}, "/stored"), "/stored");
  EXPECT_EQ(StartupDirectory({QString("/x") + QChar(u'\0')}, "/"), "/x");
  EXPECT_EQ(StartupDirectory({"\"\"\"/q\"\"\""}, "/"), "\"\"/q\"\"") << "only one quote each";
  EXPECT_EQ(StartupDirectory({"\""}, "/stored"), "") << "a lone quote leaves nothing";
}

TEST(ContainerGeometry, FitsBetweenTheBarsAndNeverGoesNegative) {
  LayoutInput in{false, 800, 600, 24, false, 30};
  EXPECT_EQ(ContainerGeometry(in), QRect(0, 24, 800, 576));
  in.bottomVisible = true;
  EXPECT_EQ(ContainerGeometry(in), QRect(0, 24, 800, 546)) << "shrinks by the bottom bar only";
  in.innerHeight = 40;
  EXPECT_EQ(ContainerGeometry(in), QRect(0, 24, 800, 0));
  in.minimized = true;
  EXPECT_FALSE(ContainerGeometry(in).has_value());
}

}  // namespace
}  // namespace pelorin
