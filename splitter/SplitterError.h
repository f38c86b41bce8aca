// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The run-time errors cSplitter raises to the caller of a property: a number the caller can test
// (380 for an invalid property value, 9 for a panel index out of range) and a source text made of
// the program's executable name and ".cSplitter".

#include <stdexcept>
#include <string>

namespace pelorin {

class SplitterError : public std::runtime_error {
 public:
  static constexpr int kSubscriptOutOfRange = 9;
  static constexpr int kInvalidPropertyValue = 380;

  SplitterError(int number, const std::string& description);

  int number() const { return number_; }
  const std::string& source() const { return source_; }

 private:
  int number_;
  std::string source_;
};

// "<executable name>.cSplitter", the executable name without a ".exe" ending.
std::string SplitterErrorSource();

}  // namespace pelorin
