// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <random>
#include <system_error>

#include "platform/Directory.h"

namespace pelorin::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::random_device rd;
  std::error_code ec;
  do
    path_ = (fs::temp_directory_path() / ("pelorin-test-" + std::to_string(rd()))).string();
  while (!fs::create_directory(path_, ec));
}

TempDir::~TempDir() {
  std::error_code ec;
  // Make folders a test locked down removable again first.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) {
    hadOld_ = true;
    old_ = old;
  }
#ifdef _WIN32
  _putenv_s(name, value ? value : "");
#else
  value ? ::setenv(name, value, 1) : ::unsetenv(name);
#endif
}

ScopedEnv::~ScopedEnv() {
#ifdef _WIN32
  _putenv_s(name_.c_str(), hadOld_ ? old_.c_str() : "");
#else
  hadOld_ ? ::setenv(name_.c_str(), old_.c_str(), 1) : ::unsetenv(name_.c_str());
#endif
}

ScopedCwd::ScopedCwd() : old_(CurrentDirectory()) {}
ScopedCwd::~ScopedCwd() {
  TrySetCurrentDir(old_);
}

}  // namespace pelorin::test
