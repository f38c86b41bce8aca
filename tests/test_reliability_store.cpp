// The store when the disk fills up or its folder turns read-only: the write that cannot be made
// fails with a reason, nothing crashes, and every value written before it is still there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "prefs/Registry.h"
#include "prefs/WinAPIError.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKey = "Software\\Pelorin";
constexpr std::size_t kValueBytes = 16384;

Bytes Pattern(int i) {
  Bytes b(kValueBytes);
  for (std::size_t k = 0; k < b.size(); ++k) {
    b[k] = static_cast<std::uint8_t>(i * 31 + k);
  }
  return b;
}

bool WriteValue(const std::string& name, int i) {
  std::uint32_t type = Registry::kRegBinary;
  return Registry::SetValue(kRoot, kKey, name, type, Pattern(i));
}

// "" when the value reads back as written, else what went wrong.
std::string CheckValue(const std::string& name, int i) {
  TypedValue value;
  if (!Registry::GetValue(kRoot, kKey, name, Registry::kRegBinary, value)) {
    return name + ": " + Registry::LastRegistryError();
  }
  return value == TypedValue(Pattern(i)) ? std::string() : name + ": wrong bytes";
}

// Runs body in a forked child and returns what it reported, followed by a note when the child
// did not end normally. asOtherUser: the child drops root first (modes bind everyone else).
std::string InChild(const std::function<std::string()>& body, bool asOtherUser = false) {
  int report[2];
  if (::pipe(report) != 0) {
    return "pipe failed";
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    std::string result;
    if (asOtherUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      result = "cannot drop root";
    } else {
      result = body();
    }
    for (std::size_t done = 0; done < result.size();) {
      const ssize_t n = ::write(report[1], result.data() + done, result.size() - done);
      if (n <= 0) {
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    ::_exit(0);
  }
  ::close(report[1]);
  std::string out;
  char buf[512];
  for (ssize_t n; (n = ::read(report[0], buf, sizeof buf)) != 0;) {
    if (n > 0) {
      out.append(buf, static_cast<std::size_t>(n));
    } else if (errno != EINTR) {
      break;
    }
  }
  ::close(report[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    out += " [child ended abnormally, status " + std::to_string(status) + "]";
  }
  return out;
}

class StoreLimits : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/pelorin"; }

  // Writes the earlier values every case expects to survive.
  void WriteEarlier() {
    ASSERT_TRUE(Registry::CreateKey(kRoot, kKey)) << Registry::LastRegistryError();
    for (int i = 0; i < kEarlier; ++i) {
      ASSERT_TRUE(WriteValue("Earlier" + std::to_string(i), i)) << Registry::LastRegistryError();
    }
  }
  void ExpectEarlierIntact() {
    for (int i = 0; i < kEarlier; ++i) {
      EXPECT_EQ(CheckValue("Earlier" + std::to_string(i), i), "");
    }
  }
  // The largest file in the store's folder (the file itself or its log).
  std::uintmax_t LargestFile() const {
    std::uintmax_t largest = 0;
    for (const auto& e : fs::directory_iterator(Folder())) {
      largest = std::max(largest, fs::file_size(e.path()));
    }
    return largest;
  }

  static constexpr int kEarlier = 20;
  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_F(StoreLimits, FullDiskRefusesTheWriteWithAReasonAndKeepsEveryEarlierValue) {
  WriteEarlier();
  // A file size limit stands in for a full disk: past it, writes fail with EFBIG (SIGXFSZ
  // ignored, as a program that must not die of it would have it). The room left lets the log
  // pass a fold into the file first.
  const rlim_t limit = static_cast<rlim_t>(LargestFile() + 1024 * 1024);
  const std::string report = InChild([limit] {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit rl{limit, limit};
    if (::setrlimit(RLIMIT_FSIZE, &rl) != 0) {
      return std::string("setrlimit failed");
    }
    int written = 0;
    while (written < 10000 && WriteValue("Fill" + std::to_string(written), written)) {
      ++written;
    }
    const std::string reason = Registry::LastRegistryError();
    // The store still answers in the process that met the full disk.
    const std::string reread = CheckValue("Earlier0", 0);
    return std::to_string(written) + "\n" + reason + "|" + reread;
  });
  const std::size_t newline = report.find('\n');
  ASSERT_NE(newline, std::string::npos) << report;
  const int written = std::stoi(report.substr(0, newline));
  const std::string rest = report.substr(newline + 1);
  const std::string reason = rest.substr(0, rest.find('|'));
  EXPECT_LT(written, 10000) << "the limit was never met";
  EXPECT_GT(written, 0) << "nothing fit below the limit";
  EXPECT_TRUE(reason == ApiErrorText(EFBIG) || reason == ApiErrorText(ENOSPC))
      << "reason: " << reason;
  EXPECT_EQ(rest.substr(rest.find('|') + 1), "") << "reading after the failure";

  ExpectEarlierIntact();
  for (int i = 0; i < written; ++i) {
    EXPECT_EQ(CheckValue("Fill" + std::to_string(i), i), "");
  }
  TypedValue value;
  EXPECT_FALSE(Registry::GetValue(kRoot, kKey, "Fill" + std::to_string(written),
                                  Registry::kRegBinary, value))
      << "the refused write left a value";
  EXPECT_TRUE(WriteValue("After", 1)) << "with room again: " << Registry::LastRegistryError();
  EXPECT_EQ(CheckValue("After", 1), "");
}

// A store whose folder has become read-only for its user. While the log files are there the
// store needs no new file and goes on working; without them it cannot open its log and says
// why. Either way every value stays.
TEST_F(StoreLimits, ExistingStoreInAFolderTurnedReadOnly) {
  for (const bool withLog : {true, false}) {
    SCOPED_TRACE(withLog ? "log files present" : "log files gone");
    fs::remove_all(Folder());
    WriteEarlier();
    if (!withLog) {
      // Fold the log into the file first, so that removing it loses nothing.
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open((Folder() + "/registry.db").c_str(), &db), SQLITE_OK);
      ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
                SQLITE_OK);
      sqlite3_close(db);
      fs::remove(Folder() + "/registry.db-wal");
      fs::remove(Folder() + "/registry.db-shm");
    }
    if (::geteuid() == 0) {  // the child drops root: the tree becomes that user's
      ASSERT_EQ(::chown(dir_.path().c_str(), 65534, 65534), 0);
      for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
        ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
      }
    }
    ASSERT_EQ(::chmod(Folder().c_str(), 0500), 0);
    const std::string denied = ApiErrorText(regapi::kAccessDenied);
    EXPECT_EQ(InChild(
                  [withLog, denied] {
                    const std::string read = CheckValue("Earlier3", 3);
                    const bool wrote = WriteValue("New", 7);
                    const std::string reason = Registry::LastRegistryError();
                    if (withLog) {
                      return read + (wrote ? CheckValue("New", 7) : "write: " + reason);
                    }
                    if (read != "Earlier3: " + denied) {
                      return "read: " + read;
                    }
                    return wrote || reason != denied ? "write: " + reason : std::string();
                  },
                  true),
              "");
    ASSERT_EQ(::chmod(Folder().c_str(), 0700), 0);
    ExpectEarlierIntact();
    EXPECT_EQ(CheckValue("New", 7).empty(), withLog);
  }
}

}  // namespace
}  // namespace pelorin
