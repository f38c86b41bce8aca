// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a Ctrl+click on the console opens: a URL (http://, https://) or the path of a file or
// folder, found in the one line clicked.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pelorin {

struct LinkSpan {
  std::size_t begin = 0;  // bytes [begin, end) of the line
  std::size_t end = 0;
  std::string target;  // the URL, or the path as written
  bool url = false;
  bool present = true;  // a path: it is there (exists said so)
};

// The link at byte of line. The word there (up to blanks, quotes and angle brackets) is a URL
// when it holds http:// or https:// (from there on, less trailing punctuation), else a path:
// tried as it stands, then less the brackets and punctuation around it, then less a position
// behind it (":12", ":12:5", as compilers and grep write them). The first that exists says is
// there is the link; when none is and the word holds a / or \, the word less its punctuation
// comes back with present false (a path that is gone); otherwise nothing.
std::optional<LinkSpan> FindLink(std::string_view line, std::size_t byte,
                                 const std::function<bool(const std::string&)>& exists);

}  // namespace pelorin
