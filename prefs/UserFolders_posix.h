// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the user's configuration lives on POSIX, shared by the store and the history file.

#include <string>

namespace pelorin {

// $HOME, else the home folder the user database names; empty when neither names one.
std::string HomeFolder();

// $XDG_CONFIG_HOME when it is an absolute path (XDG: a relative or empty one is ignored), else
// ~/.config; empty without a home folder.
std::string ConfigHome();

// Creates each missing folder of the path, private to the user (0700 whatever the umask);
// folders that are there already are left as they are. 0, or the errno of the failing step.
int MakePrivateFolders(const std::string& folder);

}  // namespace pelorin
