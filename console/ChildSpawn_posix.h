// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How this process starts children on POSIX, shared by the runner's files: posix_spawn (no copy
// of this process is ever made: the child runs the new program at once), file actions that give
// a child its three standard streams and nothing else, default signal handling, and reaping.

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "platform/SysError.h"

namespace pelorin::posix {

// What a child's descriptors become. Every child gets its three standard streams and nothing
// else: whatever else is open here (inherited from whoever started this process, or opened
// without close-on-exec) is closed in the child, after the standard streams are in place.
class FileActions {
 public:
  FileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// Starts args[0] with the arguments, in a session of its own, with an empty signal mask and every
// signal at its default action. environment: "NAME=value" entries; null means this process's.
SysError Spawn(pid_t& pid, const std::vector<std::string>& args, FileActions& actions,
               bool searchPath, const std::vector<std::string>* environment = nullptr);

// Waits for the child on a thread of its own, so that it never stays a zombie and nobody waits
// for it here.
void ReapInBackground(pid_t pid);

// A pipe whose ends are closed on exec and lie above the standard streams.
SysError MakePipe(int ends[2]);

void CloseFd(int& fd);

// Moves a descriptor on 0, 1 or 2 (this process started with its standard streams closed) above
// them, close-on-exec; on failure fd is left as it was.
SysError MoveAboveStdio(int& fd);

}  // namespace pelorin::posix
