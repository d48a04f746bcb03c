// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A failed check says why and aborts, so that libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>
#define FUZZ_CHECK(cond, ...)                                                               \
    do {                                                                                    \
        if (!(cond)) {                                                                      \
            std::fprintf(stderr, "%s:%d: check failed: %s\n  ", __FILE__, __LINE__, #cond); \
            std::fprintf(stderr, __VA_ARGS__);                                              \
            std::fputc('\n', stderr);                                                       \
            std::abort();                                                                   \
        }                                                                                   \
    } while (false)
