// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cwchar>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/ProcessPlatform.h"
#include "platform/Utf16_win32.h"

namespace pelorin {

namespace {

std::wstring EnvironmentValue(const wchar_t* name) {
  std::wstring value(256, L'\0');
  for (;;) {
    const DWORD n = ::GetEnvironmentVariableW(name, value.data(), static_cast<DWORD>(value.size()));
    if (n == 0) {
      return std::wstring();  // unset (or empty)
    }
    if (n < value.size()) {
      value.resize(n);
      return value;
    }
    value.resize(n);  // n is the size needed, terminator included
  }
}

std::wstring SystemFolder() {
  std::wstring folder(MAX_PATH, L'\0');
  for (;;) {
    const UINT n = ::GetSystemDirectoryW(folder.data(), static_cast<UINT>(folder.size()));
    if (n == 0) {
      return std::wstring();
    }
    if (n < folder.size()) {
      folder.resize(n);
      return folder;
    }
    folder.resize(n);  // n is the size needed, terminator included
  }
}

// cmd writes its own output (dir, echo, error texts) in the code page of its console, which a
// new console takes from the system's OEM code page: a name outside it comes out as '?'. This
// step, run first on the command's own hidden console, makes that UTF-8. The system's chcp by
// its full path: a chcp.bat in the current folder would otherwise win. Should it fail, the
// command still runs (&), and the decoder reads the OEM output as before.
std::string Utf8ConsoleStep() {
  static const std::string step = [] {
    const std::wstring folder = SystemFolder();
    if (folder.empty()) {
      return std::string("chcp 65001>nul 2>&1& ");
    }
    std::string path = win::Narrow(folder);
    path.insert(0, 1, '"');
    path.append("\\chcp.com\" 65001>nul 2>&1& ");
    return path;
  }();
  return step;
}

// %ComSpec% /s /c "step line", as one UTF-16 command line (no lossy ANSI step). With /s cmd takes
// off the first and the last quote and runs the rest exactly as typed; without it, a line with
// more than two quotes ("C:\My App\tool.bat" "an arg") would lose its first and last quote.
std::wstring CommandLineOf(const InterpreterCommand& command) {
  return win::Widen(command.program + command.switchText + '"' + Utf8ConsoleStep() + command.line +
                    '"');
}

// The child's environment block when the command has an environment of its own (empty: this
// process's; never empty when the command has one, even of no entries): UTF-16 entries sorted by
// name without regard to case, as Windows wants them, with this process's hidden per-drive folders
// ("=C:=C:\Work") kept, so the command starts where this process is on every drive.
std::wstring EnvironmentBlockOf(const InterpreterCommand& command) {
  if (!command.environment) {
    return std::wstring();
  }
  std::vector<std::wstring> entries;
  for (const std::string& entry : *command.environment) {
    entries.push_back(win::Widen(entry));
  }
  if (wchar_t* own = ::GetEnvironmentStringsW()) {
    for (const wchar_t* entry = own; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      if (entry[0] == L'=') {
        entries.emplace_back(entry);
      }
    }
    ::FreeEnvironmentStringsW(own);
  }
  const auto nameOf = [](const std::wstring& entry) {
    const std::size_t eq = entry.find(L'=', 1);
    return std::wstring_view(entry).substr(0, eq == std::wstring::npos ? entry.size() : eq);
  };
  std::stable_sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
    const std::wstring_view x = nameOf(a), y = nameOf(b);
    return ::CompareStringOrdinal(x.data(), static_cast<int>(x.size()), y.data(),
                                  static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  std::wstring block;
  for (const std::wstring& entry : entries) {
    block.append(entry).push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

void CloseIfOpen(HANDLE& h) {
  if (h != nullptr) {
    ::CloseHandle(h);
    h = nullptr;
  }
}

// The start-up record of a hidden run. cb is sizeof(STARTUPINFOW): 104 bytes here, 68 only in a
// 32-bit build.
STARTUPINFOW HiddenStartup(DWORD flags) {
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  si.dwFlags = flags;
  si.wShowWindow = SW_HIDE;
  return si;
}

// Without a console window of its own the interpreter still gets a console, hidden and its own,
// whose code page the UTF-8 step sets (with creation flags 0 it would have no console: no code
// page to set, and Wine's cmd writes the ANSI code page then).
constexpr DWORD kCreationFlags = CREATE_NO_WINDOW;

class Win32ChildProcess final : public ChildProcess {
 public:
  // job may be null (the system refused one): an interrupt then ends the child alone. input:
  // the write end of the command's standard input; inputPeek: a copy of its read end, kept to
  // see what the command has not read yet.
  Win32ChildProcess(HANDLE process, HANDLE job, HANDLE outRead, HANDLE errRead, HANDLE input,
                    HANDLE inputPeek)
      : process_(process),
        job_(job),
        read_{outRead, errRead},
        input_(input),
        inputPeek_(inputPeek),
        wake_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~Win32ChildProcess() override {
    ReleaseReadEnds();
    // The job was made without JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE: its processes run on.
    CloseIfOpen(job_);
    CloseIfOpen(process_);  // nothing to reap on Windows: the handle is all we hold
    CloseIfOpen(wake_);
  }
  Win32ChildProcess(const Win32ChildProcess&) = delete;
  Win32ChildProcess& operator=(const Win32ChildProcess&) = delete;

  bool HasEnded() override {
    if (::WaitForSingleObject(process_, 0) != WAIT_OBJECT_0) {
      return false;
    }
    DWORD code = 0;
    if (!status_ && ::GetExitCodeProcess(process_, &code) && code != STILL_ACTIVE) {
      status_ = ExitStatus{false, code};
    }
    return true;
  }
  std::optional<ExitStatus> Status() const override { return status_; }

  void ReadOutput(const std::size_t room[2], std::chrono::milliseconds wait,
                  std::vector<OutputChunk>& chunks, bool ended[2]) override {
    // Anonymous pipes cannot be waited on: both are looked at in turn, every millisecond while
    // output flows and less often while it does not, so the order of what arrives is kept to
    // within that. A blocking read is never made: a program holding a pipe open would hold it.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    DWORD pause = 1;
    for (;;) {
      bool took = false;
      for (int i = 0; i < 2; ++i) {
        if (room[i] == 0 || read_[i] == nullptr || ended[i]) {
          continue;
        }
        DWORD avail = 0;
        if (!::PeekNamedPipe(read_[i], nullptr, 0, nullptr, &avail, nullptr)) {
          ended[i] = true;  // broken pipe: every writer is gone and the pipe is empty
          continue;
        }
        if (avail == 0) {
          continue;
        }
        const Stream stream = i == 0 ? Stream::Out : Stream::Err;
        std::string bytes(std::min<std::size_t>({avail, room[i], kPipeBytes}), '\0');
        DWORD got = 0;
        if (!::ReadFile(read_[i], bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr)) {
          ended[i] = true;
          continue;
        }
        bytes.resize(got);
        chunks.push_back({stream, std::move(bytes)});
        took = true;
      }
      if (took || ended[0] || ended[1]) {
        return;
      }
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) {
        return;
      }
      const DWORD sleep = std::min<DWORD>(pause, static_cast<DWORD>(left.count()));
      if (wake_ == nullptr) {
        ::Sleep(sleep);  // no event to be had: back to the pump, which sees a stop
        return;
      }
      if (::WaitForSingleObject(wake_, sleep) == WAIT_OBJECT_0) {
        return;
      }
      pause = std::min<DWORD>(pause * 2, 16);
    }
  }

  void WakeReader() override {
    if (wake_ != nullptr) {
      ::SetEvent(wake_);
    }
  }

  InputWritten WriteInput(std::string_view bytes) override {
    InputWritten result;
    if (input_ == nullptr) {
      result.refused = true;
      return result;
    }
    // Only what fits into the pipe now, so that the write never waits for the command.
    DWORD waiting = 0;
    if (!::PeekNamedPipe(inputPeek_, nullptr, 0, nullptr, &waiting, nullptr)) {
      waiting = static_cast<DWORD>(kPipeBytes);
    }
    const std::size_t room = kPipeBytes - std::min<std::size_t>(waiting, kPipeBytes);
    const DWORD count = static_cast<DWORD>(std::min(room, bytes.size()));
    if (count == 0) {
      return result;
    }
    DWORD written = 0;
    if (!::WriteFile(input_, bytes.data(), count, &written, nullptr)) {
      result.refused = true;  // ERROR_NO_DATA, ERROR_BROKEN_PIPE: no one reads it any more
      return result;
    }
    result.bytes = written;
    return result;
  }

  bool EndInput() override {
    CloseIfOpen(input_);  // the command reads the end of its input
    return true;
  }

  TerminalState Terminal() override { return TerminalState{}; }
  void SetTerminalSize(int, int) override {}

  std::string TakeUnreadInput() override {
    // With no writer left the read below cannot wait, even should someone else take the bytes
    // between the peek and the read (a program the command left running on this input).
    CloseIfOpen(input_);
    std::string unread;
    DWORD waiting = 0;
    if (inputPeek_ != nullptr &&
        ::PeekNamedPipe(inputPeek_, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0) {
      unread.resize(waiting);
      DWORD got = 0;
      if (!::ReadFile(inputPeek_, unread.data(), waiting, &got, nullptr)) {
        got = 0;
      }
      unread.resize(got);
    }
    return unread;
  }

  void ReleaseReadEnds() override {
    // No signal ends a writer on Windows: its later writes fail (ERROR_NO_DATA) and it carries
    // on, whether this process still runs or not.
    CloseIfOpen(read_[0]);
    CloseIfOpen(read_[1]);
    CloseIfOpen(input_);
    CloseIfOpen(inputPeek_);
  }

  void Interrupt() override {
    if (HasEnded()) {
      return;
    }
    // The interpreter's console is hidden (CREATE_NO_WINDOW) and none of ours, so no console
    // control event reaches it: the job ends the child and everything it started at once, the
    // first time already. STATUS_CONTROL_C_EXIT is the status Ctrl+C leaves on a console.
    if (job_ == nullptr || !::TerminateJobObject(job_, STATUS_CONTROL_C_EXIT)) {
      ::TerminateProcess(process_, STATUS_CONTROL_C_EXIT);
    }
  }

  std::int64_t ProcessId() const override { return ::GetProcessId(process_); }

 private:
  HANDLE process_;
  HANDLE job_;
  HANDLE read_[2];
  std::optional<ExitStatus> status_;
  HANDLE input_;
  HANDLE inputPeek_;
  HANDLE wake_;
};

// The handles a child may inherit, and no other inheritable handle of this process (one this
// process inherited, or one a library made inheritable). Without the system's support the list
// is empty and the start falls back to inheriting every inheritable handle.
class InheritOnly {
 public:
  explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (size == 0 || !::InitializeProcThreadAttributeList(list, 1, 0, &size)) {
      return;
    }
    made_ = list;
    if (::UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                    handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      list_ = list;
    }
  }
  ~InheritOnly() {
    if (made_ != nullptr) {
      ::DeleteProcThreadAttributeList(made_);
    }
  }
  InheritOnly(const InheritOnly&) = delete;
  InheritOnly& operator=(const InheritOnly&) = delete;
  LPPROC_THREAD_ATTRIBUTE_LIST get() const { return list_; }

 private:
  std::vector<HANDLE> handles_;  // read by CreateProcessW: kept until then
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST made_ = nullptr;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// An anonymous pipe whose read end only we hold: the write end is inheritable, the read end is
// swapped for a non-inheritable copy of itself (the source closed with it).
SysError MakePipe(HANDLE& readEnd, HANDLE& writeEnd) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  if (!::CreatePipe(&readEnd, &writeEnd, &sa, static_cast<DWORD>(kPipeBytes))) {
    readEnd = writeEnd = nullptr;
    return ::GetLastError();
  }
  HANDLE self = ::GetCurrentProcess();
  HANDLE copy = nullptr;
  if (::DuplicateHandle(self, readEnd, self, &copy, 0, FALSE,
                        DUPLICATE_CLOSE_SOURCE | DUPLICATE_SAME_ACCESS)) {
    readEnd = copy;
  } else {
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  }
  return 0;
}

// The command's standard input: a pipe whose read end the child inherits; the write end and a
// copy of the read end (to see what the command never read) are ours and not inheritable.
SysError MakeInputPipe(HANDLE& childRead, HANDLE& writeEnd, HANDLE& peek) {
  SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
  if (!::CreatePipe(&childRead, &writeEnd, &sa, static_cast<DWORD>(kPipeBytes))) {
    childRead = writeEnd = peek = nullptr;
    return ::GetLastError();
  }
  ::SetHandleInformation(writeEnd, HANDLE_FLAG_INHERIT, 0);
  // The copy tells how much the command has not read: without it input could not be given
  // without the risk of waiting, so the start fails.
  HANDLE self = ::GetCurrentProcess();
  if (!::DuplicateHandle(self, childRead, self, &peek, 0, FALSE, DUPLICATE_SAME_ACCESS)) {
    const SysError rc = ::GetLastError();
    ::CloseHandle(childRead);
    ::CloseHandle(writeEnd);
    childRead = writeEnd = peek = nullptr;
    return rc;
  }
  return 0;
}

}  // namespace

InterpreterCommand MakeInterpreterCommand(const std::string& line) {
  return InterpreterCommand{win::Narrow(EnvironmentValue(L"ComSpec")), " /s /c ", line};
}

SysError StartChildProcess(const InterpreterCommand& command,
                           std::unique_ptr<ChildProcess>& child) {
  child.reset();
  HANDLE outRead = nullptr;
  HANDLE outWrite = nullptr;
  HANDLE errRead = nullptr;
  HANDLE errWrite = nullptr;
  if (SysError rc = MakePipe(outRead, outWrite)) {
    return rc;
  }
  if (SysError rc = MakePipe(errRead, errWrite)) {
    ::CloseHandle(outRead);
    ::CloseHandle(outWrite);
    return rc;
  }
  HANDLE inRead = nullptr;
  HANDLE inWrite = nullptr;
  HANDLE inPeek = nullptr;
  if (SysError rc = MakeInputPipe(inRead, inWrite, inPeek)) {
    for (HANDLE h : {outRead, outWrite, errRead, errWrite}) {
      ::CloseHandle(h);
    }
    return rc;
  }

  STARTUPINFOEXW si{};
  si.StartupInfo = HiddenStartup(STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW);
  si.StartupInfo.hStdInput = inRead;
  si.StartupInfo.hStdOutput = outWrite;
  si.StartupInfo.hStdError = errWrite;
  std::vector<HANDLE> inherit = {outWrite, errWrite, inRead};
  const InheritOnly only(std::move(inherit));
  // Suspended until it is in its job, so that nothing it starts escapes the job.
  DWORD flags = kCreationFlags | CREATE_SUSPENDED;
  if (only.get() != nullptr) {
    si.StartupInfo.cb = sizeof(si);
    si.lpAttributeList = only.get();
    flags |= EXTENDED_STARTUPINFO_PRESENT;
  }
  std::wstring cmdLine = CommandLineOf(command);
  std::wstring environment = EnvironmentBlockOf(command);
  if (!environment.empty()) {
    flags |= CREATE_UNICODE_ENVIRONMENT;
  }
  PROCESS_INFORMATION pi{};
  const BOOL started = ::CreateProcessW(nullptr, cmdLine.data(), nullptr, nullptr, TRUE, flags,
                                        environment.empty() ? nullptr : environment.data(), nullptr,
                                        &si.StartupInfo, &pi);
  const SysError rc = started ? 0 : ::GetLastError();

  // Only the child may hold the write ends now, so the pipes report their end once it is done.
  ::CloseHandle(outWrite);
  ::CloseHandle(errWrite);
  ::CloseHandle(inRead);
  if (!started) {
    ::CloseHandle(outRead);
    ::CloseHandle(errRead);
    ::CloseHandle(inWrite);
    CloseIfOpen(inPeek);
    return rc != 0 ? rc : ERROR_GEN_FAILURE;
  }
  // A job of its own: an interrupt ends the whole tree the command started. Where the system
  // refuses one (an old system whose job this process is in), the child alone is ended.
  HANDLE job = ::CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr) {
    // A program that explicitly starts another outside any job (CREATE_BREAKAWAY_FROM_JOB)
    // would otherwise fail to start it; what it starts so is its own business.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    ::SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof(limits));
    if (!::AssignProcessToJobObject(job, pi.hProcess)) {
      CloseIfOpen(job);
    }
  }
  ::ResumeThread(pi.hThread);
  ::CloseHandle(pi.hThread);
  child = std::make_unique<Win32ChildProcess>(pi.hProcess, job, outRead, errRead, inWrite, inPeek);
  return 0;
}

SysError StartDetached(const InterpreterCommand& command) {
  STARTUPINFOW si = HiddenStartup(STARTF_USESHOWWINDOW);
  std::wstring cmdLine = CommandLineOf(command);
  std::wstring environment = EnvironmentBlockOf(command);
  const DWORD flags = kCreationFlags | (environment.empty() ? 0 : CREATE_UNICODE_ENVIRONMENT);
  PROCESS_INFORMATION pi{};
  // No handle inheritance: a program left running must not hold anything of ours.
  if (!::CreateProcessW(nullptr, cmdLine.data(), nullptr, nullptr, FALSE, flags,
                        environment.empty() ? nullptr : environment.data(), nullptr, &si, &pi)) {
    const SysError rc = ::GetLastError();
    return rc != 0 ? rc : ERROR_GEN_FAILURE;
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return 0;
}

SysError StartProgram(const std::string& programPath) {
  // The application name is given, so the quoted path on the command line is only argv[0]:
  // nothing is parsed by a shell or searched for.
  // A path written the portable way ("<folder>/name") is made the system's own form, with the
  // ".exe" that the application name must carry.
  std::wstring app = win::Widen(programPath);
  for (wchar_t& c : app) {
    if (c == L'/') {
      c = L'\\';
    }
  }
  const std::size_t slash = app.find_last_of(L'\\');
  if (app.find(L'.', slash == std::wstring::npos ? 0 : slash) == std::wstring::npos) {
    app += L".exe";
  }
  std::wstring cmdLine = L"\"" + app + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(app.c_str(), cmdLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &si, &pi)) {
    const SysError rc = ::GetLastError();
    return rc != 0 ? rc : ERROR_GEN_FAILURE;
  }
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return 0;
}

std::string ProgramPath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      return std::string();
    }
    if (n < buf.size()) {
      return win::Narrow(std::wstring(buf.data(), n));
    }
    buf.resize(buf.size() * 2);  // the name was cut short
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const std::size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace pelorin
