// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The names of the programs on PATH, for completing the first word of a line. The folders are
// read on a thread of their own, so a slow or huge folder never holds the window; the names are
// kept and read again only when PATH changes or they have grown old. Reading is bounded: at most
// kMaxFolders folders and kMaxPerFolder entries of each.

#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandLine.h"

namespace pelorin {

// The programs in the folders of path, by name, sorted, each once. sh: executable files (what a
// link leads to counts). cmd: files whose extension is one of pathExt's (";.COM;.EXE;.BAT"),
// without regard to case, named without it, as one types them.
std::vector<std::string> ProgramsOn(const std::string& path, const std::string& pathExt,
                                    Quoting flavour);

// cmd's own commands, which are no files on PATH (dir, copy...); none with sh.
const std::vector<std::string>& InterpreterCommands(Quoting flavour);

class ProgramIndex {
 public:
  static constexpr std::size_t kMaxFolders = 128;
  static constexpr std::size_t kMaxPerFolder = 20000;
  // Names older than this are read again (in the background) at the next Refresh.
  static constexpr std::chrono::seconds kFresh{60};

  explicit ProgramIndex(Quoting flavour);
  ~ProgramIndex();
  ProgramIndex(const ProgramIndex&) = delete;
  ProgramIndex& operator=(const ProgramIndex&) = delete;

  // Starts reading the folders of path unless the same were read lately or are being read.
  void Refresh(const std::string& path, const std::string& pathExt);
  // The names beginning with prefix (cmd: without regard to case), sorted; waits at most wait
  // for a reading under way. Nothing when no names were read yet.
  std::optional<std::vector<std::string>> Matching(std::string_view prefix,
                                                   std::chrono::milliseconds wait) const;

 private:
  struct Reading;
  Quoting flavour_;
  std::shared_ptr<Reading> newest_;  // the last reading started
  std::shared_ptr<Reading> ready_;   // the last reading known finished
};

}  // namespace pelorin
