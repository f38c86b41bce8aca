// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows half of the platform layer against the real system (Wine in CI): processes and
// pipes through cmd, the console code page, the registry, message texts and drive changes.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "console/CodePage_win32.h"
#include "console/CommandEnvironment.h"
#include "console/CommandRunner.h"
#include "console/ProcessPlatform.h"
#include "platform/Directory.h"
#include "platform/Utf16_win32.h"
#include "platform/WinAPIError.h"
#include "prefs/Registry.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;

// Ticks the runner (faster than the window's timer) until it completes or 30 s have passed;
// input is given to the command after the first tick.
std::pair<std::string, std::string> RunToEnd(const std::string& line, CommandRunner& runner,
                                             const std::string& input = "", bool endInput = false) {
  std::pair<std::string, std::string> r;
  EXPECT_EQ(runner.Start(MakeInterpreterCommand(line)), 0u) << line;
  for (int i = 0; runner.Running() && i < 1500; ++i) {
    std::this_thread::sleep_for(20ms);
    const CommandRunner::TickResult tick = runner.Tick();
    r.first += tick.output.Text(Stream::Out);
    r.second += tick.output.Text(Stream::Err);
    if (i == 0 && !input.empty()) {
      runner.SendInput(input);
    }
    if (i == 0 && endInput) {
      runner.EndInput();
    }
  }
  EXPECT_FALSE(runner.Running()) << "no completion: " << line;
  return r;
}

std::pair<std::string, std::string> RunToEnd(const std::string& line) {
  CommandRunner runner;
  return RunToEnd(line, runner);
}

// Cyrillic, Greek, CJK and an emoji: none of them in an OEM code page together.
const std::string kWorldNames[] = {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82",
                                   "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xAC\xCE\xB4\xCE\xB1",
                                   "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E",
                                   "\xF0\x9F\x98\x80"
                                   "emoji"};

std::vector<std::string> SortedLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

TEST(WindowsRunner, NamesOutsideTheOemCodePageComeBackExactly) {
  // The line goes out as UTF-16; cmd writes UTF-8 on the command's console, and so does type
  // of a UTF-8 file (its bytes as they are).
  test::TempDir dir;
  std::string expected;
  for (const std::string& name : kWorldNames) {
    ASSERT_TRUE(::CreateDirectoryW(win::Widen(dir.path() + "\\" + name).c_str(), nullptr));
    expected += name + "\r\n";
  }
  const auto [listed, listErr] = RunToEnd("dir /b \"" + dir.path() + "\"");
  EXPECT_EQ(SortedLines(listed), SortedLines(expected)) << listed << listErr;

  std::string line = "\xC3\xBC\xE2\x82\xAC";  // ü€
  for (const std::string& name : kWorldNames)
    line += " " + name;
  const auto [echoed, echoErr] = RunToEnd("echo " + line);
  EXPECT_EQ(echoed + "|" + echoErr, line + "\r\n|");

  const std::string file = dir.path() + "\\utf8 text.txt";
  const std::string content =
      "Gr\xC3\xBC\xC3\x9F"
      "e " +
      kWorldNames[3] + "\r\nline two\r\n";
  std::ofstream(file, std::ios::binary) << content;
  EXPECT_EQ(RunToEnd("type \"" + file + "\"").first, content);
}

TEST(WindowsRunner, AProgramWritingItsOwnCodePageStillReadsRight) {
  // The helper writes a line in the OEM code page, then one in UTF-8.
  // What the OEM code page can hold of its text, read back: '?' where it has no such letter.
  char narrow[64] = {};
  const int n = ::WideCharToMultiByte(CP_OEMCP, 0, L"Gr\u00FC\u00DFe \u00C4rger", -1, narrow, 64,
                                      nullptr, nullptr);
  wchar_t back[64] = {};
  ::MultiByteToWideChar(CP_OEMCP, 0, narrow, n, back, 64);
  const std::string expected = win::Narrow(back) + "\r\n" + kWorldNames[0] + " \xC3\xBC\r\n";
  EXPECT_EQ(RunToEnd("\"" + ProgramFolder() + "\\test_helper.exe\" oem").first, expected);
}

TEST(WindowsRunner, AQuotedProgramWithQuotedArgumentsRunsAsTyped) {
  // cmd /c alone would take the first and the last quote off this line.
  test::TempDir dir;
  const std::string folder = dir.path() + "\\My App";
  ASSERT_TRUE(std::filesystem::create_directory(folder));
  std::ofstream(folder + "\\tool.bat") << "@echo [%~1] [%~2] [%3]\r\n";
  const auto [out, err] =
      RunToEnd("\"" + folder + "\\tool.bat\" \"first arg\" \"second  arg\" third");
  EXPECT_EQ(out + "|" + err, "[first arg] [second  arg] [third]\r\n|");
  EXPECT_EQ(RunToEnd("echo \"a   b\" & echo \"c\"").first, "\"a   b\" \r\n\"c\"\r\n");
}

TEST(WindowsRunner, ACommandGetsTheGivenEnvironmentAndItsExitCodeIsReported) {
  CommandEnvironment env(Quoting::Windows);
  env.Set("Pelorin_Test", "a & b");
  InterpreterCommand command = MakeInterpreterCommand("echo [%PELORIN_TEST%]& exit 3");
  command.environment = env.Entries();
  CommandRunner runner;
  ASSERT_EQ(runner.Start(command), 0u);
  CommandRunner::TickResult r;
  std::string out;
  for (int i = 0; r.kind != CommandRunner::TickResult::Complete && i < 1500; ++i) {
    std::this_thread::sleep_for(20ms);
    r = runner.Tick();
    out += r.output.Text(Stream::Out);
  }
  EXPECT_EQ(out, "[a & b]\r\n");
  EXPECT_EQ(r.exit, (ExitStatus{false, 3}));
}

TEST(WindowsRunner, MoreThanAHundredKilobytesOnBothPipesArriveWholeAndInOrder) {
  // 1100 lines of about 100 bytes on each stream: the loop of cmd is slow under Wine.
  const std::string pad(90, 'x');
  auto [out, err] = RunToEnd("for /L %i in (1,1,1100) do (echo out %i " + pad + "& echo err %i " +
                             pad + " 1>&2)");
  std::string expectedOut, expectedErr;
  for (int i = 1; i <= 1100; ++i) {
    expectedOut += "out" + std::to_string(i) + pad + "\r\n";
    expectedErr += "err" + std::to_string(i) + pad + "\r\n";
  }
  std::erase(out, ' ');  // where cmd puts blanks around a redirection is its own business
  std::erase(err, ' ');
  EXPECT_TRUE(out == expectedOut) << "standard output lost, corrupted or reordered";
  EXPECT_TRUE(err == expectedErr) << "standard error lost, corrupted or reordered";
}

TEST(WindowsRunner, FailedStartsGiveTheSystemsCodeAndMessageEndingInALineEnd) {
  for (const char* comspec : {"C:\\no-such-folder\\cmd.exe", static_cast<const char*>(nullptr)}) {
    test::ScopedEnv env("ComSpec", comspec);
    CommandRunner runner;
    const SysError rc = runner.Start(MakeInterpreterCommand("echo x"));
    EXPECT_NE(rc, 0u);
    EXPECT_FALSE(runner.Running());
    EXPECT_TRUE(ApiErrorText(rc).ends_with("\r\n")) << rc;
  }
  EXPECT_NE(ApiErrorText(2), ApiErrorText(5));
  EXPECT_EQ(StartProgram(ProgramFolder() + "\\no such program.exe"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(StartProgram("C:\\windows\\system32/hostname"), 0u) << "the portable form";
}

TEST(WindowsProcess, TheLastReadsStopAtTheLimitWhenABackgroundProgramHoldsThePipes) {
  // This binary, started in the background by cmd, keeps the write ends for ten seconds: the
  // run completes about a second after cmd has ended (a start of cmd under Wine on a busy
  // machine takes a few more).
  const std::string line = "echo before& start /b \"\" \"" + ProgramFolder() +
                           "\\test_windows_platform.exe\" --gtest_also_run_disabled_tests "
                           "--gtest_filter=*DISABLED_SleepTenSeconds";
  const auto start = std::chrono::steady_clock::now();
  const auto [out, err] = RunToEnd(line);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(took >= 900ms && took < 7s) << (took / 1ms) << " ms";
  EXPECT_NE(out.find("before"), std::string::npos);
}

TEST(Helper, DISABLED_SleepTenSeconds) {
  std::this_thread::sleep_for(10s);
}

TEST(Helper, DISABLED_SleepASecond) {
  std::this_thread::sleep_for(1s);
}

// Copies the lines of standard input to standard output until the input ends.
TEST(Helper, DISABLED_CopyInput) {
  for (std::string line; std::getline(std::cin, line);) {
    if (!line.empty() && line.back() == '\r') {
      line.pop_back();
    }
    std::printf("read: %s\n", line.c_str());
  }
  std::printf("end of input\n");
  std::fflush(stdout);
}

// Waits (at most a minute) until the file PELORIN_TEST_GO names exists, writes on standard
// output, and at its end leaves the file with ".done" added.
TEST(Helper, DISABLED_WaitForGoThenWrite) {
  const std::string go = std::getenv("PELORIN_TEST_GO");
  for (int i = 0; i < 6000 && !std::filesystem::exists(go); ++i)
    std::this_thread::sleep_for(10ms);
  for (int i = 0; i < 2000; ++i) {
    std::printf("line %d after the go\n", i);  // a write that fails changes nothing
  }
  std::fflush(stdout);
  std::ofstream(go + ".done") << "done";
}

// The interpreter line that runs a helper above as the interpreter's child.
std::string HelperLine(const std::string& name) {
  return "\"" + ProgramFolder() +
         "\\test_windows_platform.exe\" --gtest_also_run_disabled_tests "
         "--gtest_filter=Helper.DISABLED_" +
         name;
}

// Reads the child's output for at most `limit`, until it holds `until` or (when that is empty)
// both streams have ended.
std::string ReadUntil(ChildProcess& child, const std::string& until, std::chrono::seconds limit) {
  std::string out;
  const std::size_t room[2] = {kPipeBytes, kPipeBytes};
  bool ended[2] = {false, false};
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end &&
         (until.empty() ? !(ended[0] && ended[1]) : out.find(until) == std::string::npos)) {
    std::vector<OutputChunk> chunks;
    child.ReadOutput(room, 10ms, chunks, ended);
    for (const OutputChunk& chunk : chunks)
      out += chunk.bytes;
  }
  return out;
}

// Reads standard output until the helper's test has begun (GoogleTest's banner).
bool HelperRuns(ChildProcess& child) {
  return ReadUntil(child, "[ RUN", 30s).find("[ RUN") != std::string::npos;
}

TEST(WindowsRunner, InputReachesTheCommandAndWhatItNeverReadIsKept) {
  // set /p reads a line of the pipe (CR LF); the helper below copies lines until the input
  // ends; a command that reads nothing leaves its input unread.
  CommandRunner runner;
  auto [out, err] = RunToEnd("set /p x=name? & call echo got %x%", runner, "Ann\r\n");
  EXPECT_NE(out.find("got Ann"), std::string::npos) << out << err;
  std::tie(out, err) = RunToEnd(HelperLine("CopyInput"), runner, "one\r\ntwo\r\n", true);
  std::erase(out, '\r');
  EXPECT_NE(out.find("read: one\nread: two\nend of input"), std::string::npos) << out << err;
  std::tie(out, err) = RunToEnd(HelperLine("SleepASecond"), runner, "never\r\n");
  EXPECT_EQ(runner.TakeUnreadInput(), std::vector<std::string>{"never"});
}

TEST(WindowsProcess, AnInterruptEndsTheWholeTreeOfTheCommandAtOnce) {
  test::TempDir dir;
  test::ScopedEnv go("PELORIN_TEST_GO", (dir.path() + "\\go").c_str());  // never made
  std::unique_ptr<ChildProcess> child;
  ASSERT_EQ(StartChildProcess(MakeInterpreterCommand(HelperLine("WaitForGoThenWrite")), child), 0u);
  ASSERT_TRUE(HelperRuns(*child));
  const auto start = std::chrono::steady_clock::now();
  child->Interrupt();
  for (int i = 0; !child->HasEnded() && i < 3000; ++i)
    std::this_thread::sleep_for(1ms);
  // The pipes end once the helper, the interpreter's child, is gone too.
  ReadUntil(*child, "", 10s);
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_TRUE(child->HasEnded());
  EXPECT_LT(took, 5s) << "the interpreter's child still holds the pipes";
  std::printf("interrupt to the end of the whole tree: %lld ms\n",
              static_cast<long long>(took / 1ms));
}

TEST(WindowsRunner, ACommandHoldsNoHandleOfOursAndRunsToItsEndWhenLeft) {
  // An inheritable handle of ours (a pipe's write end): once our copy is closed, the pipe is
  // broken, unless the command holds one too.
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  HANDLE strayRead = nullptr, strayWrite = nullptr;
  ASSERT_TRUE(::CreatePipe(&strayRead, &strayWrite, &sa, 0));
  test::TempDir dir;
  const std::string go = dir.path() + "\\go";
  test::ScopedEnv goEnv("PELORIN_TEST_GO", go.c_str());
  std::unique_ptr<ChildProcess> child;
  ASSERT_EQ(StartChildProcess(MakeInterpreterCommand(HelperLine("WaitForGoThenWrite")), child), 0u);
  ASSERT_TRUE(HelperRuns(*child));
  ::CloseHandle(strayWrite);
  DWORD avail = 0;
  EXPECT_FALSE(::PeekNamedPipe(strayRead, nullptr, 0, nullptr, &avail, nullptr));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_BROKEN_PIPE)) << "the command holds it";
  ::CloseHandle(strayRead);
  // Left (as after "Stop waiting"), the helper writes into the closed pipe and still ends well.
  child.reset();
  std::ofstream(go) << "go";
  for (int i = 0; !std::filesystem::exists(go + ".done") && i < 3000; ++i)
    std::this_thread::sleep_for(10ms);
  EXPECT_TRUE(std::filesystem::exists(go + ".done")) << "the command left did not run to its end";
}

// The stream decoded in reads cut at every place in turn, and byte by byte: always the same.
void ExpectSameInAnyPieces(unsigned fallback, const std::string& stream,
                           const std::string& expected) {
  for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
    win::Utf8OrCodePageDecoder decoder(fallback);
    std::string got = decoder.Decode(stream.substr(0, cut));
    got += decoder.Decode(stream.substr(cut));
    EXPECT_EQ(got + decoder.Finish(), expected) << "cut at " << cut;
  }
  win::Utf8OrCodePageDecoder decoder(fallback);
  std::string got;
  for (char c : stream)
    got += decoder.Decode(std::string(1, c));
  EXPECT_EQ(got + decoder.Finish(), expected) << "byte by byte";
}

TEST(WindowsDecoder, Utf8LinesPassAndALineThatIsNotUtf8IsReadInTheFallbackCodePage) {
  // Code page 850: 81 is u with diaeresis, E1 sharp s, 8E A with diaeresis.
  ExpectSameInAnyPieces(850,
                        "ok \xD0\x9F\r\n"
                        "Gr\x81\xE1"
                        "e \x8E\r\n"
                        "\xE2\x82\xAC \xF0\x9F\x98\x80 end",
                        "ok \xD0\x9F\r\n"
                        "Gr\xC3\xBC\xC3\x9F"
                        "e \xC3\x84\r\n"
                        "\xE2\x82\xAC \xF0\x9F\x98\x80 end");
  // A line that goes wrong after a valid start is read whole in the fallback: here the C3 A4,
  // valid UTF-8 by chance, stays two letters of code page 850.
  win::Utf8OrCodePageDecoder decoder(850);
  EXPECT_EQ(decoder.Decode("\xC3\xA4 \x81\nok"), "\xE2\x94\x9C\xC3\xB1 \xC3\xBC\nok");
  // At the end, a sequence that never completed is the fallback's letter.
  EXPECT_EQ(decoder.Decode("Stra\xE1"), "Stra");
  EXPECT_EQ(decoder.Finish(), "\xC3\x9F");
}

TEST(WindowsDecoder, ADoubleByteCharacterSplitAcrossReadsIsDeliveredWhole) {
  win::CodePageDecoder sjis(932);
  EXPECT_EQ(sjis.Decode("a\x82"), "a");
  EXPECT_EQ(sjis.Decode("\xA0z"), "\xE3\x81\x82z");  // HIRAGANA LETTER A
  // A trail byte in the lead byte range does not start a character of its own.
  EXPECT_EQ(win::CompletePrefix(932, "\x82\x82\x82"), 2u);
  EXPECT_EQ(sjis.Decode("\x82"), "");
  EXPECT_EQ(sjis.Finish(), "\xEF\xBF\xBD");
  EXPECT_EQ(win::CompletePrefix(65001, "\xE0\x80"), 2u) << "a sequence that can never complete";
}

TEST(WindowsRegistry, PercentRuleStoresExpandableTextAndMismatchedReadsFail) {
  const std::string path = "Software\\PelorinTest-" + std::to_string(::GetCurrentProcessId());
  const std::wstring wide(path.begin(), path.end());
  ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, path));
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, path, "Dir", type,
                                 std::string("c:\\gr\xC3\xBC%b%")));
  EXPECT_EQ(type, Registry::kRegExpandSz);
  wchar_t data[64] = {};
  DWORD stored = 0, size = sizeof(data);
  ::RegGetValueW(HKEY_CURRENT_USER, wide.c_str(), L"Dir", RRF_RT_ANY | RRF_NOEXPAND, &stored, data,
                 &size);
  EXPECT_EQ(std::to_wstring(stored) + L":" + data, L"2:c:\\gr\u00FC%b%") << "UTF-16, expandable";

  TypedValue value = std::string("kept");
  EXPECT_FALSE(Registry::GetValue(regapi::kCurrentUser, path, "Dir", Registry::kRegSz, value));
  EXPECT_EQ(Registry::LastRegistryError(), "Registry data type was 2instead of the requested 1");
  EXPECT_EQ(std::get<std::string>(value), "kept");
  ::RegDeleteTreeW(HKEY_CURRENT_USER, wide.c_str());
}

TEST(WindowsDirectory, ADriveChangeStaysWhenTheFolderChangeFails) {
  test::ScopedCwd restore;
  ASSERT_TRUE(TrySetCurrentDir("C:\\windows"));
  ASSERT_TRUE(TrySetCurrentDir("Z:\\"));  // Wine maps Z: to the root of the host
  EXPECT_FALSE(TrySetCurrentDir("c:\\nope"));
  EXPECT_STRCASEEQ(CurrentDirectory().c_str(), "C:\\windows") << "on C: again, in its folder";
  EXPECT_TRUE(TrySetCurrentDir("system32"));
  EXPECT_STRCASEEQ(CurrentDirectory().c_str(), "C:\\windows\\system32");
}

}  // namespace
}  // namespace pelorin
