// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/FileCompletion.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "console/PathText.h"
#include "console/ShellWords.h"

namespace pelorin {

namespace {

namespace fs = std::filesystem;

// The code point at text[i], moving i past it; a byte that starts no character stands for
// itself.
char32_t NextCodePoint(std::string_view text, std::size_t& i) {
  const auto b = static_cast<unsigned char>(text[i]);
  const std::size_t need = b < 0xC0 ? 0 : b < 0xE0 ? 1 : b < 0xF0 ? 2 : 3;
  if (b < 0x80 || i + need >= text.size()) {
    ++i;
    return b;
  }
  char32_t c = b & (0x3F >> need);
  for (std::size_t k = 1; k <= need; ++k) {
    c = (c << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
  }
  i += need + 1;
  return c;
}

// Lower case for the scripts file names are most often written in (Latin, Greek, Cyrillic).
// Each pair has the same length in UTF-8, so a folded match is as long as the name's part.
char32_t Fold(char32_t c) {
  if (c < 0x80) {
    return c >= 'A' && c <= 'Z' ? c + 32 : c;
  }
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) {
    return c + 32;
  }
  if (c >= 0x100 && c <= 0x17F) {
    if (c == 0x178) {
      return 0xFF;
    }
    const bool oddUpper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    const bool evenUpper = (c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177);
    return (oddUpper && c % 2 == 1) || (evenUpper && c % 2 == 0) ? c + 1 : c;
  }
  if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) {
    return c + 32;
  }
  if (c >= 0x400 && c <= 0x40F) {
    return c + 80;
  }
  return c;
}

}  // namespace

std::size_t CommonBytes(std::string_view a, std::string_view b, bool ignoreCase) {
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t ni = i, nj = j;
    const char32_t ca = NextCodePoint(a, ni), cb = NextCodePoint(b, nj);
    if (ignoreCase ? Fold(ca) != Fold(cb) : ca != cb) {
      break;
    }
    i = ni;
    j = nj;
  }
  return i;
}

namespace {

std::string Folded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t from = i;
    const char32_t c = NextCodePoint(text, i);
    const char32_t f = Fold(c);
    if (f == c) {
      out.append(text, from, i - from);
    } else if (f < 0x80) {
      out.push_back(static_cast<char>(f));
    } else {  // every folded pair above ASCII is two bytes long
      out.push_back(static_cast<char>(0xC0 | (f >> 6)));
      out.push_back(static_cast<char>(0x80 | (f & 0x3F)));
    }
  }
  return out;
}

bool NeedsQuotes(std::string_view text, Quoting quoting) {
  const std::string_view special = quoting == Quoting::Posix
                                       ? std::string_view(" \t\n'\"\\$`&|;<>()*?[]!{}#")
                                       : std::string_view(" \t&()[]{}^=;!'+,`~");
  return text.find_first_of(special) != std::string_view::npos;
}

struct Found {
  std::string name;
  bool folder = false;
};

}  // namespace

CompletionWord ReadCompletionWord(std::string_view text, Quoting quoting) {
  const std::vector<CharRole> roles = ReadQuoting(text, quoting);
  const std::string_view operators = quoting == Quoting::Posix ? "|&;<>" : "|&<>";
  CompletionWord word;
  char open = '\0';
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (roles[i] == CharRole::Quote) {
      open = open == '\0' ? text[i] : '\0';
    } else if (roles[i] == CharRole::Escape) {
      ++i;  // the escaped byte is part of the word
    } else if (roles[i] == CharRole::Blank ||
               (open == '\0' && operators.find(text[i]) != std::string_view::npos)) {
      word.start = i + 1;
    }
  }
  // The word starts outside quotes; a $ names a variable unless escaped or single-quoted.
  std::size_t lastVariable = std::string::npos;
  open = '\0';
  for (std::size_t i = word.start; i < text.size(); ++i) {
    if (roles[i] == CharRole::Quote) {
      open = open == '\0' ? text[i] : '\0';
    } else if (roles[i] == CharRole::Text) {
      const bool escaped = i > word.start && roles[i - 1] == CharRole::Escape;
      if (quoting == Quoting::Posix && text[i] == '$' && !escaped && open != '\'') {
        lastVariable = word.value.size();
      }
      word.value.push_back(text[i]);
    }
  }
  if (lastVariable != std::string::npos) {
    const std::size_t slash = word.value.find('/', lastVariable);
    word.variableLead = slash == std::string::npos ? 0 : slash + 1;
  }
  const std::string_view raw = text.substr(word.start);
  if (!raw.empty() && roles[word.start] == CharRole::Quote) {
    word.quote = raw[0];
  }
  word.tilde = quoting == Quoting::Posix && (raw == "~" || raw.starts_with("~/"));
  return word;
}

std::string QuoteCompleted(const std::string& value, const CompletionWord& word, bool closed,
                           Quoting quoting) {
  // A tilde that stands for home, and a variable's reference, must stay outside the quotes.
  const std::size_t tilde = !word.tilde ? 0 : value.starts_with("~/") ? 2 : 1;
  const std::size_t lead = std::min(std::max(tilde, word.variableLead), value.size());
  const std::string_view body = std::string_view(value).substr(lead);
  // A lead that names a variable but holds a blank or the like of its own (my\ dir/$X/) goes in
  // double quotes with the rest, its references left to expand there.
  std::string leadText = value.substr(0, lead);
  std::erase_if(leadText, [](char c) { return c == '$' || c == '{' || c == '}'; });
  const bool bareLead = tilde > 0 || !NeedsQuotes(leadText, quoting);
  if (bareLead && word.quote == '\0' && !NeedsQuotes(body, quoting)) {
    return value;
  }
  const char quote = bareLead && word.quote != '\0' ? word.quote : '"';
  std::string out;
  if (bareLead) {
    out = value.substr(0, lead);
    out.push_back(quote);
  } else {
    out.push_back(quote);
    for (const char c : std::string_view(value).substr(0, lead)) {
      if (c == '`' || c == '"' || c == '\\') {
        out.push_back('\\');
      }
      out.push_back(c);
    }
  }
  for (const char c : body) {
    if (quoting == Quoting::Posix && quote == '\'' && c == '\'') {
      out += "'\\''";
      continue;
    }
    if (quoting == Quoting::Posix && quote == '"' &&
        (c == '$' || c == '`' || c == '"' || c == '\\')) {
      out.push_back('\\');
    }
    out.push_back(c);
  }
  if (closed) {
    out.push_back(quote);
  }
  return out;
}

FileCompletion CompleteFileName(std::string_view beforeCaret, const std::string& directory,
                                const std::string& home, const CompletionRules& rules,
                                const CompletionLimits& limits, const VariableLookup& lookup) {
  const CompletionWord word = ReadCompletionWord(beforeCaret, rules.quoting);
  FileCompletion result;
  result.wordStart = word.start;
  result.replacement = std::string(beforeCaret.substr(word.start));

  // The word's folder part, as typed, and the name part to complete.
  const std::string_view separators = rules.quoting == Quoting::Windows ? "\\/" : "/";
  const std::size_t cut = word.value.find_last_of(separators);
  std::string folder = cut == std::string::npos ? std::string() : word.value.substr(0, cut + 1);
  if (rules.quoting == Quoting::Windows && folder.empty() && word.value.size() >= 2 &&
      word.value[1] == ':') {
    folder = word.value.substr(0, 2);  // a drive's current folder: "C:na"
  }
  const std::string prefix = word.value.substr(folder.size());
  std::string real = folder;
  if (lookup && rules.quoting == Quoting::Windows) {
    real = ExpandPercent(real, lookup);
  } else if (lookup && word.variableLead > 0) {
    // Only the references typed as such expand; a quoted or escaped $ further on is a name's.
    real = ExpandDollar(std::string_view(real).substr(0, word.variableLead), lookup) +
           real.substr(word.variableLead);
  }
  if (word.tilde && !home.empty() && real.starts_with('~')) {
    real.replace(0, 1, home);
  }
  // With sh a name beginning with "-" in the current folder would be taken for an option.
  const std::string guard =
      rules.quoting == Quoting::Posix && folder.empty() && !word.tilde ? "./" : "";
  const auto guarded = [&guard](const std::string& name) {
    return name.starts_with('-') ? guard + name : name;
  };
  const fs::path search = real.empty() ? PathOf(directory) : PathOf(directory) / PathOf(real);

  // One pass over the folder: the matching names, their common part, the first few kept.
  std::vector<Found> kept;
  std::string common;
  std::size_t matched = 0;
  std::size_t scanned = 0;
  bool incomplete = false;
  std::error_code ec;
  for (fs::directory_iterator it(search, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (++scanned > limits.maxScanned) {
      incomplete = true;
      break;
    }
    std::string name = Utf8Of(it->path().filename());
    if (rules.hideDotFiles && name.starts_with('.') && !prefix.starts_with('.')) {
      continue;
    }
    if (CommonBytes(name, prefix, rules.ignoreCase) < prefix.size()) {
      continue;
    }
    common = ++matched == 1 ? name : common.substr(0, CommonBytes(common, name, rules.ignoreCase));
    if (kept.size() < limits.maxCandidates) {
      std::error_code dirError;
      const bool isFolder = it->is_directory(dirError);
      kept.push_back({std::move(name), isFolder});
    }
  }
  if (matched == 0) {
    return result;
  }
  const std::string sep(1, rules.separator);
  if (matched == 1 && !incomplete && !kept.empty()) {
    const Found& only = kept.front();
    result.replacement = QuoteCompleted(guarded(folder + only.name + (only.folder ? sep : "")),
                                        word, true, rules.quoting);
    return result;
  }
  // The typed part stays as typed (its case too); what all names share is added behind it.
  const std::string shared = incomplete ? prefix : prefix + common.substr(prefix.size());
  if (shared != prefix) {
    result.replacement = QuoteCompleted(guarded(folder + shared), word, false, rules.quoting);
  }
  if (rules.ignoreCase) {
    std::sort(kept.begin(), kept.end(), [](const Found& a, const Found& b) {
      return std::make_pair(Folded(a.name), a.name) < std::make_pair(Folded(b.name), b.name);
    });
  } else {
    std::sort(kept.begin(), kept.end(),
              [](const Found& a, const Found& b) { return a.name < b.name; });
  }
  for (const Found& found : kept) {
    const std::string shown = found.name + (found.folder ? sep : "");
    result.candidates.push_back(
        {shown, QuoteCompleted(guarded(folder + shown), word, true, rules.quoting)});
  }
  if (incomplete) {
    result.candidates.push_back({"... more not read", {}});
  } else if (matched > kept.size()) {
    result.candidates.push_back({"... " + std::to_string(matched - kept.size()) + " more", {}});
  }
  return result;
}

}  // namespace pelorin
