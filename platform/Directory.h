// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process's current directory and its change, shared by the cd built-in and the folder tree.
// The directory is never cached: every prompt and caption reads it afresh.

#include <string>

#include "platform/SysError.h"

namespace pelorin {

// The process's current directory (UTF-8), for example "C:\Work" or "/home/me".
std::string CurrentDirectory();

// Changes the directory (and, where the platform has drive letters and the path is
// drive-qualified, first the drive). 0 on success, else the system's code for why not; an empty
// path is a path that is not there. Never throws, writes nothing. A drive change that succeeded
// stays in force when the directory change then fails.
SysError SetCurrentDir(const std::string& path);

// SetCurrentDir(path) == 0.
bool TrySetCurrentDir(const std::string& path);

// Whether a code of SetCurrentDir says the path is not there (rather than that it cannot be
// entered: no permission, not a folder, ...).
bool IsMissingPath(SysError code);

// A path of at least three characters whose second and third are ":\".
bool IsDriveQualified(const std::string& path);

// Platform primitives (Directory_posix.cpp / Directory_win32.cpp).
namespace platform {
bool HasDriveLetters();
SysError ChangeDrive(char letter);
SysError ChangeDirectory(const std::string& path);
std::string CurrentDirectory();
bool IsMissingPath(SysError code);
SysError OutOfMemoryError();
}  // namespace platform

}  // namespace pelorin
