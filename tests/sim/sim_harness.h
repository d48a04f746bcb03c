// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs the built qv7m-radio (path in QV7M_SIM) in a scratch directory of its
// own, with a log, until the object goes.
#include <sys/types.h>

#include <string>
#include <vector>

namespace simtest {

double nowMs();  // CLOCK_MONOTONIC

class Sim {
public:
    explicit Sim(std::vector<std::string> args = {});  // returns once it is ready
    ~Sim();
    int stop(int sig);  // the exit status, or -1 if it did not end
    std::vector<std::string> log() const;

    std::string dir;
    std::string link;  // its COMn in dir
    std::string pty;   // the device behind it
    pid_t pid = -1;
};

}  // namespace simtest
