// The SQLite-backed store under several processes, killed writers, damaged and locked files
// and folders the user may not enter.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
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

bool WriteNumber(const std::string& name, std::int32_t number) {
  std::uint32_t type = Registry::kRegDword;
  return Registry::SetValue(kRoot, kKey, name, type, number);
}

std::optional<std::int32_t> ReadNumber(const std::string& name) {
  TypedValue value;
  if (!Registry::GetValue(kRoot, kKey, name, Registry::kRegDword, value)) {
    return std::nullopt;
  }
  return std::get<std::int32_t>(value);
}

void WriteAll(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n <= 0 && errno != EINTR) {
      return;
    }
    if (n > 0) {
      p += n;
      size -= static_cast<std::size_t>(n);
    }
  }
}

// Runs body in a forked child (which never returns into the test) and gives back what it
// reported: empty means it found nothing wrong.
std::string InChild(const std::function<std::string()>& body, bool asOtherUser = false) {
  int report[2];
  if (::pipe(report) != 0) {
    return "pipe failed";
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    std::string result;
    // Folder modes bind everyone but root: take a plain user's identity to meet them.
    if (asOtherUser && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
      result = "cannot drop root";
    } else {
      result = body();
    }
    WriteAll(report[1], result.data(), result.size());
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
    out += " child ended abnormally";
  }
  return out;
}

// Under root, hands the tree to the plain user InChild takes on, so its modes bind.
void GiveToOtherUser(const std::string& top) {
  if (::geteuid() != 0) {
    return;
  }
  ASSERT_EQ(::chown(top.c_str(), 65534, 65534), 0);
  for (const auto& entry : fs::recursive_directory_iterator(top)) {
    ASSERT_EQ(::lchown(entry.path().c_str(), 65534, 65534), 0);
  }
}

class StoreTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  std::string File() const { return Folder() + "/registry.db"; }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_F(StoreTest, TwoProcessesWritingAtOnceLoseNothing) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  constexpr int kEach = 1000;
  int gate[2];
  ASSERT_EQ(::pipe(gate), 0);
  std::vector<pid_t> children;
  std::vector<int> reports;
  for (int child = 0; child < 2; ++child) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(gate[1]);
      ::close(report[0]);
      char go;
      (void)::read(gate[0], &go, 1);  // both start when the gate closes
      int failed = 0;
      for (int i = 0; i < kEach; ++i) {
        if (!WriteNumber("P" + std::to_string(child) + "-" + std::to_string(i), i)) {
          ++failed;
        }
      }
      WriteAll(report[1], &failed, sizeof failed);
      ::_exit(0);
    }
    ::close(report[1]);
    children.push_back(pid);
    reports.push_back(report[0]);
  }
  ::close(gate[0]);
  ::close(gate[1]);
  for (std::size_t c = 0; c < children.size(); ++c) {
    int failed = -1;
    EXPECT_EQ(::read(reports[c], &failed, sizeof failed), static_cast<ssize_t>(sizeof failed));
    EXPECT_EQ(failed, 0) << "child " << c << " had writes fail";
    ::close(reports[c]);
    int status = 0;
    ::waitpid(children[c], &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
  }
  int missing = 0;
  for (int child = 0; child < 2; ++child) {
    for (int i = 0; i < kEach; ++i) {
      if (ReadNumber("P" + std::to_string(child) + "-" + std::to_string(i)) != i) {
        ++missing;
      }
    }
  }
  EXPECT_EQ(missing, 0);
}

TEST_F(StoreTest, WriterKilledMidStreamLeavesEveryCommittedValue) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  std::set<int> committed;
  int next = 0;
  for (int round = 1; round <= 3; ++round) {
    int report[2];
    ASSERT_EQ(::pipe(report), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(report[0]);
      for (int i = next;; ++i) {
        std::uint32_t type = Registry::kRegBinary;
        // Large values keep the writer inside its transactions most of the time.
        if (Registry::SetValue(kRoot, kKey, "V" + std::to_string(i), type,
                               Bytes(16384, static_cast<std::uint8_t>(i)))) {
          WriteAll(report[1], &i, sizeof i);
        }
      }
    }
    ::close(report[1]);
    int seen = 0;
    int index = 0;
    while (seen < 100 * round && ::read(report[0], &index, sizeof index) == sizeof index) {
      committed.insert(index);
      ++seen;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    while (::read(report[0], &index, sizeof index) == sizeof index) {
      committed.insert(index);
    }
    ::close(report[0]);
    ASSERT_EQ(seen, 100 * round) << "the writer stopped reporting";
    next = *committed.rbegin() + 2;
  }
  for (int i : committed) {
    TypedValue value;
    ASSERT_TRUE(
        Registry::GetValue(kRoot, kKey, "V" + std::to_string(i), Registry::kRegBinary, value))
        << "value " << i << ": " << Registry::LastRegistryError();
    EXPECT_EQ(value, TypedValue(Bytes(16384, static_cast<std::uint8_t>(i))));
  }
  EXPECT_TRUE(WriteNumber("After", 1)) << "the store still takes writes";
}

TEST_F(StoreTest, FileAndFolderAreTheUsersOnly) {
  const mode_t old = ::umask(022);
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  ASSERT_TRUE(WriteNumber("X", 1));
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(Folder().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(Folder())) {
    ASSERT_EQ(::stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0600u) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 1);
}

TEST_F(StoreTest, ReadingAnEmptyStoreCreatesNothing) {
  EXPECT_FALSE(Registry::KeyExists(kRoot, kKey));
  EXPECT_FALSE(ReadNumber("WindowState"));
  EXPECT_FALSE(fs::exists(Folder()));
}

TEST_F(StoreTest, DamagedFileFailsWithAReason) {
  fs::create_directory(Folder());
  {
    std::ofstream garbage(File(), std::ios::binary);
    for (int i = 0; i < 8192; ++i) {
      garbage.put(static_cast<char>((i * 7919) % 251));
    }
  }
  EXPECT_FALSE(Registry::KeyExists(kRoot, kKey));
  const std::string reason = Registry::LastRegistryError();
  EXPECT_FALSE(reason.empty());
  EXPECT_NE(reason, ApiErrorText(regapi::kFileNotFound));
  EXPECT_FALSE(Registry::CreateKey(kRoot, kKey));
  EXPECT_EQ(Registry::LastRegistryError(), reason);
  EXPECT_FALSE(WriteNumber("X", 1));
  TypedValue value = std::int32_t{5};
  EXPECT_FALSE(Registry::GetValue(kRoot, kKey, "X", Registry::kRegDword, value));
  EXPECT_EQ(value, TypedValue(std::int32_t{5}));
}

TEST_F(StoreTest, TruncatedStoreFailsWithAReason) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  ASSERT_TRUE(WriteNumber("X", 1));
  // Fold the log into the file, then cut the file short.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(File().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  fs::resize_file(File(), 1000);
  EXPECT_FALSE(ReadNumber("X"));
  EXPECT_FALSE(Registry::LastRegistryError().empty());
}

TEST_F(StoreTest, StoreInAPlaceThatIsNoFolderFailsWithAReason) {
  std::ofstream(Folder()) << "a file where the folder should be";
  EXPECT_FALSE(Registry::CreateKey(kRoot, kKey));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(ENOTDIR));
  EXPECT_FALSE(Registry::KeyExists(kRoot, kKey));
  EXPECT_FALSE(Registry::LastRegistryError().empty());
}

TEST_F(StoreTest, FolderTheUserMayNotEnterIsAccessDenied) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  ASSERT_TRUE(WriteNumber("X", 1));
  GiveToOtherUser(dir_.path());
  ASSERT_EQ(::chmod(Folder().c_str(), 0), 0);
  EXPECT_EQ(InChild(
                [] {
                  if (Registry::KeyExists(kRoot, kKey) || ReadNumber("X")) {
                    return std::string("read through a closed folder");
                  }
                  if (Registry::LastRegistryError() != ApiErrorText(regapi::kAccessDenied)) {
                    return "reason: " + Registry::LastRegistryError();
                  }
                  return std::string();
                },
                true),
            "");
}

TEST_F(StoreTest, FolderTheUserMayNotWriteRefusesTheNewStore) {
  const std::string readOnly = dir_.path() + "/ro";
  fs::create_directory(readOnly);
  ASSERT_EQ(::chmod(readOnly.c_str(), 0500), 0);
  GiveToOtherUser(dir_.path());
  test::ScopedEnv xdg("XDG_CONFIG_HOME", readOnly.c_str());
  EXPECT_EQ(InChild(
                [] {
                  if (Registry::CreateKey(kRoot, kKey)) {
                    return std::string("created a store in a closed folder");
                  }
                  if (Registry::LastRegistryError() != ApiErrorText(regapi::kAccessDenied)) {
                    return "reason: " + Registry::LastRegistryError();
                  }
                  return WriteNumber("X", 1) ? std::string("wrote without a key") : std::string();
                },
                true),
            "");
}

TEST_F(StoreTest, LockedStoreMakesWritesWaitThenFail) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, kKey));
  ASSERT_TRUE(WriteNumber("X", 1));
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(File().c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(ReadNumber("X"), 1) << "readers pass a writer";
  EXPECT_FALSE(WriteNumber("X", 2));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(EBUSY));
  sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
  sqlite3_close(db);
  EXPECT_TRUE(WriteNumber("X", 3));
  EXPECT_EQ(ReadNumber("X"), 3);
}

}  // namespace
}  // namespace pelorin
