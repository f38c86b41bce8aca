// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ProgramIndex.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>

#include "console/AsciiCase.h"
#include "console/PathText.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == separator) {
      if (i > start) {
        parts.emplace_back(text.substr(start, i - start));
      }
      start = i + 1;
    }
  }
  return parts;
}

}  // namespace

std::vector<std::string> ProgramsOn(const std::string& path, const std::string& pathExt,
                                    Quoting flavour) {
  const bool cmd = flavour == Quoting::Windows;
  std::vector<std::string> extensions;
  for (const std::string& ext : Split(pathExt, ';')) {
    extensions.push_back(ascii::Lowered(ext));
  }
  std::vector<std::string> folders = Split(path, cmd ? ';' : ':');
  if (folders.size() > ProgramIndex::kMaxFolders) {
    folders.resize(ProgramIndex::kMaxFolders);
  }
  std::vector<std::string> names;
  for (const std::string& folder : folders) {
    std::error_code ec;
    std::size_t seen = 0;
    for (fs::directory_iterator it(PathOf(folder), fs::directory_options::skip_permission_denied,
                                   ec);
         !ec && it != fs::directory_iterator() && seen < ProgramIndex::kMaxPerFolder;
         it.increment(ec), ++seen) {
      std::error_code statError;
      const fs::file_status status = it->status(statError);  // follows a link
      if (statError || !fs::is_regular_file(status)) {
        continue;
      }
      const std::string name = Utf8Of(it->path().filename());
      if (cmd) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos && dot > 0 &&
            std::find(extensions.begin(), extensions.end(), ascii::Lowered(name.substr(dot))) !=
                extensions.end()) {
          names.push_back(name.substr(0, dot));
        }
      } else if ((status.permissions() & (fs::perms::owner_exec | fs::perms::group_exec |
                                          fs::perms::others_exec)) != fs::perms::none) {
        names.push_back(name);
      }
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

const std::vector<std::string>& InterpreterCommands(Quoting flavour) {
  static const std::vector<std::string> none;
  static const std::vector<std::string> cmd = {
      "assoc", "break", "call",     "cls",    "color",    "copy",  "date",   "del",
      "dir",   "echo",  "endlocal", "erase",  "for",      "ftype", "goto",   "if",
      "md",    "mkdir", "mklink",   "move",   "path",     "pause", "prompt", "rd",
      "rem",   "ren",   "rename",   "rmdir",  "setlocal", "shift", "start",  "time",
      "title", "type",  "ver",      "verify", "vol"};
  return flavour == Quoting::Windows ? cmd : none;
}

struct ProgramIndex::Reading {
  std::string key;  // PATH and PATHEXT read
  std::chrono::steady_clock::time_point at = std::chrono::steady_clock::now();
  mutable std::mutex mutex;
  mutable std::condition_variable finished;
  bool done = false;
  std::vector<std::string> names;
};

ProgramIndex::ProgramIndex(Quoting flavour) : flavour_(flavour) {}

// A reading under way is left to finish on its own: it holds nothing of this object.
ProgramIndex::~ProgramIndex() = default;

void ProgramIndex::Refresh(const std::string& path, const std::string& pathExt) {
  const std::string key = path + '\n' + pathExt;
  if (newest_ && newest_->key == key) {
    // Fresh enough, or still being read: a folder that hangs gets one reading, not one a Tab.
    const std::lock_guard<std::mutex> lock(newest_->mutex);
    if (!newest_->done || std::chrono::steady_clock::now() - newest_->at < kFresh) {
      return;
    }
  }
  auto reading = std::make_shared<Reading>();
  reading->key = key;
  try {
    std::thread([reading, path, pathExt, flavour = flavour_] {
      std::vector<std::string> names = ProgramsOn(path, pathExt, flavour);
      const std::lock_guard<std::mutex> lock(reading->mutex);
      reading->names = std::move(names);
      reading->done = true;
      reading->finished.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return;  // no thread to be had: the names read before stay
  }
  if (newest_) {
    const std::lock_guard<std::mutex> lock(newest_->mutex);
    if (newest_->done) {
      ready_ = newest_;
    }
  }
  newest_ = std::move(reading);
}

std::optional<std::vector<std::string>> ProgramIndex::Matching(
    std::string_view prefix, std::chrono::milliseconds wait) const {
  std::shared_ptr<Reading> use;
  if (newest_) {
    // A second reading of the same PATH is not waited for: the list read before serves.
    const bool known = ready_ && ready_->key == newest_->key;
    std::unique_lock<std::mutex> lock(newest_->mutex);
    if (newest_->finished.wait_for(lock, known ? std::chrono::milliseconds(0) : wait,
                                   [this] { return newest_->done; })) {
      use = newest_;
    }
  }
  if (!use) {
    use = ready_;
  }
  if (!use) {
    return std::nullopt;
  }
  const bool ignoreCase = flavour_ == Quoting::Windows;
  std::vector<std::string> found;
  const std::lock_guard<std::mutex> lock(use->mutex);
  for (const std::string& name : use->names) {
    const std::string_view start = std::string_view(name).substr(0, prefix.size());
    if (ignoreCase ? ascii::EqualIgnoringCase(start, prefix) : start == prefix) {
      found.push_back(name);
    }
  }
  return found;
}

}  // namespace pelorin
