// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// File names as the console holds them (UTF-8) and as the file system library takes them; on
// Windows the conversion goes through UTF-16, never the ANSI code page.

#include <filesystem>
#include <string>
#include <string_view>

namespace pelorin {

inline std::filesystem::path PathOf(std::string_view utf8) {
  return std::filesystem::path(
      std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

inline std::string Utf8Of(const std::filesystem::path& path) {
  const std::u8string s = path.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

}  // namespace pelorin
