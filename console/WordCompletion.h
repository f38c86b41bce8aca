// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Tab completion of the word before the caret, whatever it is: a variable's name ($HO, ${HO,
// %USERP), the first word of a command (a program on PATH or a built-in; when none begins with
// it, a file or folder name as below), or else a file or folder name (CompleteFileName), also in
// a folder a variable names ($HOME/do).

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandEnvironment.h"
#include "console/FileCompletion.h"

namespace pelorin {

struct CompletionSources {
  VariableLookup lookup;  // a variable's value
  // The variables' names beginning with a prefix, sorted.
  std::function<std::vector<std::string>(std::string_view prefix)> variables;
  // The commands beginning with a prefix (programs and built-ins), sorted.
  std::function<std::vector<std::string>(std::string_view prefix)> commands;
};

// The names the built-ins of the table answer to, for the flavour's interpreter.
const std::vector<std::string>& BuiltinNames(Quoting flavour);

FileCompletion CompleteWord(std::string_view beforeCaret, const std::string& directory,
                            const std::string& home, const CompletionSources& sources,
                            const CompletionRules& rules = PlatformCompletionRules(),
                            const CompletionLimits& limits = {});

}  // namespace pelorin
