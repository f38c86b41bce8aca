// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process's current directory and its change, shared by the cd built-in and the folder tree.
// The directory is never cached: every prompt and caption reads it afresh.

#include <string>

namespace pelorin {

// The process's current directory (UTF-8), for example "C:\Work" or "/home/me".
std::string CurrentDirectory();

// True when the directory (and, where the platform has drive letters and the path is
// drive-qualified, the drive) was changed. Never throws, writes nothing. A drive change that
// succeeded stays in force when the directory change then fails.
bool TrySetCurrentDir(const std::string& path);

// A path of at least three characters whose second and third are ":\".
bool IsDriveQualified(const std::string& path);

// Platform primitives (Directory_posix.cpp / Directory_win32.cpp).
namespace platform {
bool HasDriveLetters();
bool ChangeDrive(char letter);
bool ChangeDirectory(const std::string& path);
std::string CurrentDirectory();
}  // namespace platform

}  // namespace pelorin
