// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ShellWords.h"

namespace pelorin {

namespace {

bool NameByte(char c, bool first) {
  return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (!first && c >= '0' && c <= '9');
}

// sh: the variable reference at text[i] ("$NAME" or "${NAME}"): its length, and its name; 0
// when the dollar sign starts none.
std::size_t Reference(std::string_view text, std::size_t i, std::string_view& name) {
  const bool braced = i + 1 < text.size() && text[i + 1] == '{';
  std::size_t from = i + (braced ? 2 : 1);
  std::size_t end = from;
  while (end < text.size() && NameByte(text[end], end == from)) {
    ++end;
  }
  if (end == from || (braced && (end >= text.size() || text[end] != '}'))) {
    return 0;
  }
  name = text.substr(from, end - from);
  return end - i + (braced ? 1 : 0);
}

}  // namespace

std::vector<std::string_view> SplitWords(std::string_view text, Quoting quoting) {
  const std::vector<CharRole> roles = ReadQuoting(text, quoting);
  std::vector<std::string_view> words;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || roles[i] == CharRole::Blank) {
      if (i > start) {
        words.push_back(text.substr(start, i - start));
      }
      start = i + 1;
    }
  }
  return words;
}

std::string ExpandPercent(std::string_view text, const VariableLookup& lookup) {
  std::string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t close = text[i] == '%' ? text.find('%', i + 1) : std::string_view::npos;
    if (close != std::string_view::npos && close > i + 1 && lookup) {
      if (const auto value = lookup(text.substr(i + 1, close - i - 1))) {
        out += *value;
        i = close + 1;
        continue;
      }
    }
    // Not a set variable: the percent sign stays, and the next one may open a name.
    out.push_back(text[i++]);
  }
  return out;
}

std::string ExpandDollar(std::string_view text, const VariableLookup& lookup) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::string_view name;
    const std::size_t length = text[i] == '$' && lookup ? Reference(text, i, name) : 0;
    if (length == 0) {
      out.push_back(text[i]);
      continue;
    }
    out += lookup(name).value_or(std::string());
    i += length - 1;
  }
  return out;
}

std::string ReadWord(std::string_view word, Quoting quoting, const VariableLookup& lookup) {
  if (quoting == Quoting::Windows) {
    const std::string expanded = ExpandPercent(word, lookup);
    std::string_view text = expanded;
    if (text.starts_with('"')) {
      text.remove_prefix(1);
      if (text.ends_with('"')) {
        text.remove_suffix(1);
      }
    }
    return std::string(text);
  }
  const std::vector<CharRole> roles = ReadQuoting(word, quoting);
  std::string value;
  value.reserve(word.size());
  char open = '\0';
  bool escaped = false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    switch (roles[i]) {
      case CharRole::Quote:
        open = open == '\0' ? word[i] : '\0';
        continue;
      case CharRole::Escape:
        escaped = true;
        continue;
      default:
        break;
    }
    std::string_view name;
    const std::size_t length =
        word[i] == '$' && !escaped && open != '\'' && lookup ? Reference(word, i, name) : 0;
    escaped = false;
    if (length == 0) {
      value.push_back(word[i]);
      continue;
    }
    value += lookup(name).value_or(std::string());
    i += length - 1;
  }
  return value;
}

std::string_view UnreadExpansion(std::string_view word, Quoting quoting) {
  if (quoting != Quoting::Posix) {
    return {};
  }
  static constexpr std::string_view kAfterDollar = "({0123456789?$!#*@-";
  const std::vector<CharRole> roles = ReadQuoting(word, quoting);
  char open = '\0';
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (roles[i] == CharRole::Quote) {
      open = open == '\0' ? word[i] : '\0';
      continue;
    }
    if (roles[i] == CharRole::Escape) {
      ++i;
      continue;
    }
    if (open == '\'') {
      continue;
    }
    std::string_view name;
    const bool reference = word[i] == '$' && Reference(word, i, name) > 0;
    if (word[i] == '`' || (word[i] == '$' && !reference && i + 1 < word.size() &&
                           kAfterDollar.find(word[i + 1]) != std::string_view::npos)) {
      return word.substr(i);
    }
  }
  return {};
}

std::string ReadAssignedValue(std::string_view typed, Quoting quoting, const VariableLookup& lookup,
                              std::string_view home) {
  if (quoting != Quoting::Posix || home.empty()) {
    return ReadWord(typed, quoting, lookup);
  }
  // Unquoted colons part the value; no quote spans one, so each part reads on its own.
  const std::vector<CharRole> roles = ReadQuoting(typed, quoting);
  std::string value;
  std::size_t start = 0;
  char open = '\0';
  bool escaped = false;
  for (std::size_t i = 0; i <= typed.size(); ++i) {
    if (i < typed.size()) {
      const bool wasEscaped = escaped;
      escaped = roles[i] == CharRole::Escape;
      if (roles[i] == CharRole::Quote) {
        open = open == '\0' ? typed[i] : '\0';
      }
      if (typed[i] != ':' || open != '\0' || wasEscaped || roles[i] != CharRole::Text) {
        continue;
      }
    }
    const std::string_view part = typed.substr(start, i - start);
    if (part == "~" || part.starts_with("~/")) {
      value.append(home).append(ReadWord(part.substr(1), quoting, lookup));
    } else {
      value.append(ReadWord(part, quoting, lookup));
    }
    if (i < typed.size()) {
      value.push_back(':');
    }
    start = i + 1;
  }
  return value;
}

}  // namespace pelorin
