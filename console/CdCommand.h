// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The cd built-in's reading of its argument and its report of a failed change, without the
// surface: the session writes what these return.

#include <string>
#include <string_view>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"
#include "platform/SysError.h"

namespace pelorin {

// The folder to enter, from the text behind "cd" as typed after it: blanks at both ends go.
// Windows, as cmd reads it: one pair of surrounding double quotes removed ("my folder" and the
// unclosed "my folder both give my folder); every other character stays. Posix, as sh reads one
// word: quotes and backslashes removed where they quote ('my folder', my\ folder, "a"'b'), an
// unquoted blank kept as it stands (cd my folder still reaches "my folder"), and a leading
// unquoted ~ alone or before / stands for home (unless home is empty). Variables are expanded
// from lookup as ReadWord does ($HOME/x with sh, %USERPROFILE%\x with cmd), and cmd's switch
// /d (or /D) in front of the folder is dropped: the drive changes with any drive-qualified
// folder here.
std::string CdPath(std::string_view argument, Quoting quoting, std::string_view home,
                   const VariableLookup& lookup = {});

// What follows the path on the surface when SetCurrentDir failed with code: ": Path not found"
// for a path that is not there, else ": " and the system's text for the code (its line end
// removed), so a folder that cannot be entered or a file says why.
std::string CdFailureText(SysError code);

}  // namespace pelorin
