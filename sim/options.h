// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Command line of qv7m-radio.

#include <string>
#include <vector>

#include "sim/engine.h"

namespace qv7m::sim {

struct Options {
    bool help = false;
    std::string link = "COM1";
    std::string bandFile;  // empty: the built-in band
    std::string logFile;   // empty: no log; "-": standard output
    EngineConfig engine;
    bool vfobGiven = false;
};

// Parses argv; on failure returns false with a one-line reason in `error`.
bool parseOptions(int argc, const char* const* argv, Options& o, std::string& error);

extern const char* const kHelpText;

}  // namespace qv7m::sim
