// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A check that stays on in optimised builds (the fuzzers are built with NDEBUG): a broken
// invariant aborts, which libFuzzer reports as a crash and saves the input that caused it.

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)
