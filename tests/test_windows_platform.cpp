// The Windows half of the platform layer against the real system (Wine in CI): processes and
// pipes through cmd, the console code page, the registry, message texts and drive changes.

#include <gtest/gtest.h>
#include <windows.h>
#undef ExpandEnvironmentStrings

#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

#include "console/CodePage_win32.h"
#include "console/CommandRunner.h"
#include "console/Directory.h"
#include "console/OutputDecoder.h"
#include "console/ProcessPlatform.h"
#include "prefs/Registry.h"
#include "prefs/RegistryApi.h"
#include "prefs/WinAPIError.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;

std::string Upper(std::string s) {
  for (char& c : s) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return s;
}

struct RunResult {
  std::string out;
  std::string err;
  bool completed = false;
};

// Ticks the runner (faster than the window's timer) until it completes or the time is up.
RunResult RunToEnd(const std::string& line, std::chrono::seconds limit = 30s) {
  CommandRunner runner;
  RunResult result;
  EXPECT_EQ(runner.Start(MakeInterpreterCommand(line)), 0u) << line;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (runner.Running() && std::chrono::steady_clock::now() < deadline) {
    CommandRunner::TickResult tick = runner.Tick();
    result.out += tick.stdOut;
    result.err += tick.stdErr;
    if (tick.kind == CommandRunner::TickResult::Complete) {
      result.completed = true;
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  return result;
}

TEST(WindowsRunner, EchoThroughTheInterpreterArrivesWithItsLineEnd) {
  const RunResult r = RunToEnd("echo hello  world");
  ASSERT_TRUE(r.completed);
  EXPECT_EQ(r.out, "hello  world\r\n");
  EXPECT_EQ(r.err, "");
}

TEST(WindowsRunner, NonAsciiTextSurvivesTheConsoleCodePage) {
  // The line goes out as UTF-16, cmd writes the OEM code page, the decoder brings it back.
  const RunResult r = RunToEnd("echo gr\xC3\xBC\xC3\x9F \xC3\xA9t\xC3\xA9");
  ASSERT_TRUE(r.completed);
  EXPECT_EQ(r.out, "gr\xC3\xBC\xC3\x9F \xC3\xA9t\xC3\xA9\r\n");
}

TEST(WindowsRunner, StandardErrorHasItsOwnPipe) {
  const RunResult r = RunToEnd("dir C:\\no-such-folder-here");
  ASSERT_TRUE(r.completed);
  EXPECT_FALSE(r.err.empty());
}

TEST(WindowsRunner, MoreThanAHundredKilobytesOnBothPipesArriveWholeAndInOrder) {
  // 1100 lines of about 100 bytes on each stream: the loop of cmd is slow under Wine.
  const std::string pad(90, 'x');
  const RunResult r = RunToEnd("for /L %i in (1,1,1100) do (echo out %i " + pad + "& echo err %i " +
                               pad + " 1>&2)");
  ASSERT_TRUE(r.completed);
  EXPECT_GT(r.out.size(), 100'000u);
  EXPECT_GT(r.err.size(), 100'000u);
  for (const auto& [text, tag] : {std::pair{&r.out, "out"}, std::pair{&r.err, "err"}}) {
    std::istringstream lines(*text);
    std::string word, rest;
    int expected = 1;
    int number = 0;
    while (lines >> word >> number >> rest) {
      ASSERT_EQ(word, tag);
      ASSERT_EQ(number, expected) << tag;
      ASSERT_EQ(rest, pad);
      ++expected;
    }
    EXPECT_EQ(expected, 1101) << tag;
  }
}

TEST(WindowsRunner, StandardInputIsTheNullDevice) {
  // With no input to wait for, a reading command ends at once instead of hanging.
  const RunResult r = RunToEnd("set /p answer=question& echo done", 20s);
  ASSERT_TRUE(r.completed);
  EXPECT_NE(r.out.find("done"), std::string::npos);
}

TEST(WindowsRunner, AFailedStartGivesTheSystemsMessage) {
  test::ScopedEnv comspec("ComSpec", "C:\\no-such-folder\\cmd.exe");
  const InterpreterCommand command = MakeInterpreterCommand("echo x");
  EXPECT_EQ(command.program, "C:\\no-such-folder\\cmd.exe");
  EXPECT_EQ(command.switchText, " /c ");
  std::unique_ptr<ChildProcess> child;
  const SysError rc = StartChildProcess(command, child);
  EXPECT_NE(rc, 0u);
  EXPECT_EQ(child, nullptr);
  EXPECT_FALSE(ApiErrorText(rc).empty());

  CommandRunner runner;
  const SysError again = runner.Start(command);
  EXPECT_EQ(again, rc);
  EXPECT_FALSE(runner.Running());
  EXPECT_NE(StartDetached(command), 0u);
}

TEST(WindowsRunner, AnUnsetComSpecFailsToStart) {
  test::ScopedEnv comspec("ComSpec", nullptr);
  EXPECT_EQ(MakeInterpreterCommand("echo x").program, "");
  std::unique_ptr<ChildProcess> child;
  EXPECT_NE(StartChildProcess(MakeInterpreterCommand("echo x"), child), 0u);
}

TEST(WindowsProcess, DrainStopsAtTheLimitWhenABackgroundProgramHoldsThePipes) {
  // The test binary itself, started in the background by cmd, keeps the write ends for seconds.
  const std::string self = ProgramFolder() + "\\test_windows_platform.exe";
  const std::string line = "echo before& start /b \"\" \"" + self +
                           "\" --gtest_also_run_disabled_tests "
                           "--gtest_filter=Helper.DISABLED_SleepFourSeconds";
  std::unique_ptr<ChildProcess> child;
  ASSERT_EQ(StartChildProcess(MakeInterpreterCommand(line), child), 0u);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!child->HasEnded() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  ASSERT_TRUE(child->HasEnded());
  std::string out, err;
  const auto start = std::chrono::steady_clock::now();
  child->Drain(1000ms, out, err);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, 900ms);
  EXPECT_LT(took, 3s);
  EXPECT_NE(out.find("before"), std::string::npos);
  child->CloseReadEnds();
  std::string more;
  EXPECT_FALSE(child->Read(Stream::Out, 10, more));
}

TEST(Helper, DISABLED_SleepFourSeconds) {
  std::this_thread::sleep_for(4s);
}

TEST(WindowsProcess, DetachedRunsHiddenAndIsForgotten) {
  test::TempDir dir;
  const std::string file = dir.path() + "\\detached.txt";
  ASSERT_EQ(StartDetached(MakeInterpreterCommand("echo detached> \"" + file + "\"")), 0u);
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  std::string text;
  while (text.find("detached") == std::string::npos) {
    ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the detached command never ran";
    std::this_thread::sleep_for(20ms);
    std::ifstream in(file);
    std::getline(in, text);
  }
}

TEST(WindowsProcess, ProgramFolderHoldsThisProgramAndStartProgramStartsByPath) {
  const std::string folder = ProgramFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '\\');
  EXPECT_TRUE(std::filesystem::exists(folder + "\\test_windows_platform.exe"));
  EXPECT_EQ(StartProgram(folder + "\\no such program.exe"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StartProgram("C:\\windows\\system32\\hostname.exe"), 0u);
  EXPECT_EQ(StartProgram("C:\\windows\\system32/hostname"), 0u) << "the portable form";
}

TEST(WindowsDecoder, TheInterpretersCodePageIsTheOemOne) {
  EXPECT_EQ(win::InterpreterCodePage(), ::GetOEMCP());
  if (::GetOEMCP() == 437) {
    OutputDecoder decoder;
    EXPECT_EQ(decoder.Decode("caf\x82"), "caf\xC3\xA9");
  }
}

TEST(WindowsDecoder, ADoubleByteCharacterSplitAcrossReadsIsDeliveredWhole) {
  win::CodePageDecoder sjis(932);
  EXPECT_EQ(sjis.Decode("a\x82"), "a");
  EXPECT_EQ(sjis.Decode("\xA0z"), "\xE3\x81\x82z");  // HIRAGANA LETTER A
  // A trail byte in the lead byte range does not start a character of its own.
  EXPECT_EQ(win::CompletePrefix(932, "\x82\x82\x82"), 2u);
  EXPECT_EQ(win::CompletePrefix(932, "\x82\x82"), 2u);
  EXPECT_EQ(sjis.Decode("\x82"), "");
  EXPECT_EQ(sjis.Finish(), "\xEF\xBF\xBD");
  EXPECT_EQ(sjis.Finish(), "");
}

TEST(WindowsDecoder, Utf8CodePageHoldsOnlyIncompleteSequences) {
  win::CodePageDecoder utf8(65001);
  EXPECT_EQ(utf8.Decode("1\xE2\x82"), "1");
  EXPECT_EQ(utf8.Decode("\xAC"), "\xE2\x82\xAC");
  EXPECT_EQ(utf8.Decode("\xF0\x9F"), "");
  EXPECT_EQ(utf8.Decode("\x98"), "");
  EXPECT_EQ(utf8.Decode("\x80!"), "\xF0\x9F\x98\x80!");
  // Sequences that can never complete are not held back.
  EXPECT_EQ(win::CompletePrefix(65001, "\xE0\x80"), 2u);
  EXPECT_EQ(win::CompletePrefix(65001, "\x80\x80\x80"), 3u);
  EXPECT_EQ(win::CompletePrefix(65001, "\xFF"), 1u);
  EXPECT_EQ(utf8.Decode("\xC3"), "");
  EXPECT_EQ(utf8.Finish(), "\xEF\xBF\xBD");
}

TEST(WindowsErrorText, SystemTextsKeepTheirLineEnd) {
  for (std::uint32_t code : {2u, 5u}) {
    const std::string text = ApiErrorText(code);
    ASSERT_GT(text.size(), 2u) << code;
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << code;
  }
  EXPECT_NE(ApiErrorText(2), ApiErrorText(5));
  EXPECT_EQ(ApiErrorText(0x3FFFFFFFu), "");
}

// A key of its own under HKCU\Software, removed with everything in it afterwards.
class WindowsRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = "Software\\PelorinTest-" + std::to_string(std::random_device()());
    ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, path_));
  }
  void TearDown() override { ::RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path_).c_str()); }

  static std::wstring Wide(const std::string& ascii) {
    return std::wstring(ascii.begin(), ascii.end());
  }
  // The stored type and UTF-16 data as the system sees them.
  DWORD StoredType(const std::string& name, std::wstring* data = nullptr) const {
    DWORD type = 0;
    wchar_t buf[256] = {};
    DWORD size = sizeof(buf);
    EXPECT_EQ(::RegGetValueW(HKEY_CURRENT_USER, Wide(path_).c_str(), Wide(name).c_str(),
                             RRF_RT_ANY | RRF_NOEXPAND, &type, buf, &size),
              ERROR_SUCCESS);
    if (data) {
      *data = std::wstring(buf, size / sizeof(wchar_t));
    }
    return type;
  }
  void StoreRaw(const std::string& name, DWORD type, const void* data, DWORD size) const {
    HKEY key = nullptr;
    ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path_).c_str(), 0, KEY_SET_VALUE, &key), 0);
    EXPECT_EQ(
        ::RegSetValueExW(key, Wide(name).c_str(), 0, type, static_cast<const BYTE*>(data), size),
        0);
    ::RegCloseKey(key);
  }

  std::string path_;
};

TEST_F(WindowsRegistry, PercentRuleStoresAnExpandableStringInTheRealRegistry) {
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(
      Registry::SetValue(regapi::kCurrentUser, path_, "Dir", type, std::string("c:\\a%b%c")));
  EXPECT_EQ(type, Registry::kRegExpandSz);
  std::wstring stored;
  EXPECT_EQ(StoredType("Dir", &stored), static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(stored, std::wstring(L"c:\\a%b%c") + L'\0');

  type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, path_, "Pct", type, std::string("50%")));
  EXPECT_EQ(StoredType("Pct"), static_cast<DWORD>(REG_SZ));

  TypedValue value = std::string("untouched");
  EXPECT_FALSE(Registry::GetValue(regapi::kCurrentUser, path_, "Dir", Registry::kRegSz, value));
  EXPECT_EQ(Registry::LastRegistryError(), "Registry data type was 2instead of the requested 1");
}

TEST_F(WindowsRegistry, TextIsUtf16InTheRegistryAndUtf8ForUs) {
  const std::string text =
      "Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC 40";
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, path_, "Font", type, text));
  std::wstring stored;
  EXPECT_EQ(StoredType("Font", &stored), static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(stored, std::wstring(L"Gr\u00FC\u00DFe \u20AC 40") + L'\0');

  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "font", Registry::kRegSz, value));
  EXPECT_EQ(std::get<std::string>(value), text);
  EXPECT_TRUE(Registry::ValueExists(regapi::kCurrentUser, path_, "FONT"));
}

TEST_F(WindowsRegistry, ValuesWrittenByOthersReadBack) {
  StoreRaw("NoTerminator", REG_SZ, L"", 0);
  StoreRaw("Multi", REG_MULTI_SZ, L"a\0bc\0", 12);
  const wchar_t expand[] = L"%SystemRoot%\\x";
  StoreRaw("Expand", REG_EXPAND_SZ, expand, sizeof(expand));
  const BYTE bigEndian[] = {0, 0, 1, 0};
  StoreRaw("Big", REG_DWORD_BIG_ENDIAN, bigEndian, 4);

  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "NoTerminator", 1, value));
  EXPECT_EQ(std::get<std::string>(value), "");
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "Multi", 7, value));
  EXPECT_EQ(std::get<std::string>(value), std::string("a\0bc\0", 5));
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "Expand", 2, value));
  EXPECT_EQ(Upper(std::get<std::string>(value)), "C:\\WINDOWS\\X");
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "Big", 5, value));
  EXPECT_EQ(std::get<std::int32_t>(value), 256);
}

TEST_F(WindowsRegistry, MismatchedOrMissingReadsFailAndLeaveTheVariable) {
  std::uint32_t type = Registry::kRegDword;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, path_, "Size", type, std::int16_t{-1}));
  EXPECT_EQ(StoredType("Size"), static_cast<DWORD>(REG_DWORD));
  TypedValue value = std::string("kept");
  EXPECT_FALSE(Registry::GetValue(regapi::kCurrentUser, path_, "Size", Registry::kRegSz, value));
  EXPECT_EQ(Registry::LastRegistryError(), "Registry data type was 4instead of the requested 1");
  EXPECT_EQ(std::get<std::string>(value), "kept");
  ASSERT_TRUE(Registry::GetValue(regapi::kCurrentUser, path_, "Size", Registry::kRegDword, value));
  EXPECT_EQ(std::get<std::int32_t>(value), -1);

  EXPECT_FALSE(Registry::GetValue(regapi::kCurrentUser, path_, "Missing", 1, value));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2));
  EXPECT_FALSE(Registry::KeyExists(regapi::kCurrentUser, path_ + "\\Missing"));
  type = Registry::kRegSz;
  EXPECT_FALSE(
      Registry::SetValue(regapi::kCurrentUser, path_ + "\\Missing", "x", type, std::string("y")));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2));
}

TEST_F(WindowsRegistry, TextSizesAreCountedInUtf8Bytes) {
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, path_, "T", type, std::string("\xC3\xA9")));
  regapi::Key* key = nullptr;
  ASSERT_EQ(regapi::OpenKey(regapi::kCurrentUser, path_, regapi::kQueryValue, key), 0u);
  std::uint8_t buf[3] = {};
  std::uint32_t size = 2;
  std::uint32_t stored = 0;
  EXPECT_EQ(regapi::QueryValue(key, "T", &stored, buf, &size), regapi::kMoreData);
  EXPECT_EQ(size, 3u);  // two bytes of UTF-8 and the terminator
  EXPECT_EQ(regapi::QueryValue(key, "T", &stored, buf, &size), 0u);
  EXPECT_EQ(stored, static_cast<std::uint32_t>(REG_SZ));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), 3), std::string("\xC3\xA9\0", 3));
  regapi::CloseKey(key);
}

TEST(WindowsDirectory, DriveQualifiedChangesAndTheirFailures) {
  test::ScopedCwd restore;
  ASSERT_TRUE(TrySetCurrentDir("C:\\windows"));
  EXPECT_EQ(Upper(CurrentDirectory()), "C:\\WINDOWS");
  EXPECT_FALSE(TrySetCurrentDir("c:\\nope"));
  EXPECT_EQ(Upper(CurrentDirectory()), "C:\\WINDOWS");

  // Wine maps Z: to the root of the host's file system.
  ASSERT_TRUE(TrySetCurrentDir("Z:\\"));
  EXPECT_EQ(Upper(CurrentDirectory()), "Z:\\");
  // The drive change stays although the folder is missing, and brings back C:'s folder.
  EXPECT_FALSE(TrySetCurrentDir("c:\\nope"));
  EXPECT_EQ(Upper(CurrentDirectory()), "C:\\WINDOWS");

  EXPECT_TRUE(TrySetCurrentDir("system32"));
  EXPECT_EQ(Upper(CurrentDirectory()), "C:\\WINDOWS\\SYSTEM32");
}

}  // namespace
}  // namespace pelorin
