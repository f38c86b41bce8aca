// SPDX-License-Identifier: GPL-3.0-or-later
// A small program the Windows tests run as a command (under Wine in CI):
//   test_helper sleep <seconds>   waits that long and writes nothing: a long command that needs
//                                 no network and no luck
//   test_helper oem               writes a line in the OEM code page, then a line in UTF-8, as
//                                 a program that knows nothing of UTF-8 and one that does
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Write(const std::string& bytes) {
  DWORD written = 0;
  ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), bytes.data(), static_cast<DWORD>(bytes.size()),
              &written, nullptr);
}

std::string Encode(unsigned codePage, const wchar_t* text) {
  const int n = ::WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  ::WideCharToMultiByte(codePage, 0, text, -1, bytes.data(), n, nullptr, nullptr);
  bytes.pop_back();  // the closing zero
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "sleep") == 0) {
    ::Sleep(static_cast<DWORD>(std::atoi(argv[2])) * 1000);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "oem") == 0) {
    Write(Encode(CP_OEMCP, L"Gr\u00FC\u00DFe \u00C4rger") + "\r\n");
    Write(Encode(CP_UTF8, L"\u041F\u0440\u0438\u0432\u0435\u0442 \u00FC") + "\r\n");
    return 0;
  }
  Write("usage: test_helper sleep <seconds> | oem\r\n");
  return 2;
}
