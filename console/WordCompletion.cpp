// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/WordCompletion.h"

#include <algorithm>

namespace pelorin {

namespace {

bool NameByte(char c) {
  return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// The completion of a word from a list of names: the one name, or the part all share; with
// several, the names to pick from. make turns a name into what the word becomes.
FileCompletion FromNames(const CompletionWord& word, std::string_view raw, std::string_view typed,
                         const std::vector<std::string>& names, bool ignoreCase,
                         const CompletionLimits& limits,
                         const std::function<std::string(const std::string&, bool)>& make) {
  FileCompletion result;
  result.wordStart = word.start;
  result.replacement = std::string(raw);
  if (names.empty()) {
    return result;
  }
  if (names.size() == 1) {
    result.replacement = make(names.front(), true);
    return result;
  }
  std::size_t common = names.front().size();
  for (const std::string& name : names) {
    common = std::min(common, CommonBytes(names.front(), name, ignoreCase));
  }
  if (common > typed.size()) {
    // The typed part stays as typed (its case too); what all names share is added behind it.
    result.replacement =
        make(std::string(typed) + names.front().substr(typed.size(), common - typed.size()), false);
  }
  for (std::size_t i = 0; i < names.size() && i < limits.maxCandidates; ++i) {
    result.candidates.push_back({names[i], make(names[i], true)});
  }
  if (names.size() > limits.maxCandidates) {
    result.candidates.push_back(
        {"... " + std::to_string(names.size() - limits.maxCandidates) + " more", {}});
  }
  return result;
}

// The variable reference the word ends with: where its name begins in raw, and the opening
// ("$", "${" or "%"); npos when the word does not end in one.
std::size_t VariableStart(std::string_view raw, Quoting quoting, std::string& opening) {
  std::size_t start = raw.size();
  while (start > 0 && NameByte(raw[start - 1])) {
    --start;
  }
  if (quoting == Quoting::Windows) {
    // An odd number of % before: the last one opens a name.
    if (start == 0 || raw[start - 1] != '%' ||
        std::count(raw.begin(), raw.begin() + static_cast<std::ptrdiff_t>(start), '%') % 2 == 0) {
      return std::string_view::npos;
    }
    opening = "%";
    return start;
  }
  if (start >= 2 && raw[start - 1] == '{' && raw[start - 2] == '$') {
    opening = "${";
    return start;
  }
  if (start >= 1 && raw[start - 1] == '$' &&
      (start == raw.size() || !(raw[start] >= '0' && raw[start] <= '9'))) {
    opening = "$";
    return start;
  }
  return std::string_view::npos;
}

// The word stands where a command's name goes: first on the line or after an operator.
bool CommandPosition(std::string_view before, Quoting quoting) {
  std::size_t end = before.size();
  while (end > 0 && (before[end - 1] == ' ' || before[end - 1] == '\t')) {
    --end;
  }
  if (end == 0) {
    return true;
  }
  const std::string_view operators = quoting == Quoting::Posix ? "|&;(" : "|&(";
  return operators.find(before[end - 1]) != std::string_view::npos;
}

}  // namespace

const std::vector<std::string>& BuiltinNames(Quoting flavour) {
  static const std::vector<std::string> sh = {"cd",   "clear", "cls", "export",
                                              "popd", "pushd", "run", "unset"};
  static const std::vector<std::string> cmd = {"cd", "chdir", "cls", "popd", "pushd", "run", "set"};
  return flavour == Quoting::Windows ? cmd : sh;
}

FileCompletion CompleteWord(std::string_view beforeCaret, const std::string& directory,
                            const std::string& home, const CompletionSources& sources,
                            const CompletionRules& rules, const CompletionLimits& limits) {
  const Quoting quoting = rules.quoting;
  const CompletionWord word = ReadCompletionWord(beforeCaret, quoting);
  const std::string_view raw = beforeCaret.substr(word.start);

  std::string opening;
  const std::size_t nameStart = VariableStart(raw, quoting, opening);
  if (nameStart != std::string_view::npos && word.quote != '\'' && sources.variables) {
    const std::string_view typed = raw.substr(nameStart);
    const std::string_view lead = raw.substr(0, nameStart);
    const std::string closer = opening == "${" ? "}" : opening == "%" ? "%" : "";
    return FromNames(word, raw, typed, sources.variables(typed), quoting == Quoting::Windows,
                     limits, [&](const std::string& name, bool whole) {
                       return std::string(lead) + name + (whole ? closer : "");
                     });
  }

  const std::string_view separators = quoting == Quoting::Windows ? "\\/:" : "/";
  if (CommandPosition(beforeCaret.substr(0, word.start), quoting) && !raw.empty() &&
      word.quote == '\0' && !word.tilde &&
      word.value.find_first_of(separators) == std::string::npos && sources.commands) {
    const std::vector<std::string> names = sources.commands(word.value);
    if (!names.empty()) {
      return FromNames(word, raw, word.value, names, rules.ignoreCase, limits,
                       [&](const std::string& name, bool whole) {
                         return QuoteCompleted(name, word, whole, quoting);
                       });
    }
  }
  return CompleteFileName(beforeCaret, directory, home, rules, limits, sources.lookup);
}

}  // namespace pelorin
