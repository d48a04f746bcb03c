// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The simulator's far end held directly, with plain termios, for the line benchmark.
#include "sim/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

class Port {
public:
    explicit Port(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
        if (fd < 0) throw std::runtime_error("cannot open " + path);
        termios t{};
        tcgetattr(fd, &t);
        cfmakeraw(&t);
        t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
        cfsetspeed(&t, B4800);
        tcsetattr(fd, TCSANOW, &t);
    }
    ~Port() { ::close(fd); }
    void send(const Bytes& b) {
        if (::write(fd, b.data(), b.size()) != static_cast<ssize_t>(b.size())) throw std::runtime_error("short write");
    }
    struct Rx {
        Bytes bytes;
        std::vector<double> at;  // nowMs() when each byte was read
    };
    Rx read(size_t n, int timeoutMs) {  // until n bytes came or the time is up
        Rx rx;
        uint8_t buf[256];
        ssize_t got = 0;
        for (const double until = nowMs() + timeoutMs; rx.bytes.size() < n;) {
            pollfd p{fd, POLLIN, 0};
            const int left = static_cast<int>(until - nowMs());
            if (left <= 0 || poll(&p, 1, left) <= 0 || !(p.revents & POLLIN) ||
                (got = ::read(fd, buf, sizeof buf)) <= 0)
                break;
            rx.bytes.insert(rx.bytes.end(), buf, buf + got);
            rx.at.insert(rx.at.end(), static_cast<size_t>(got), nowMs());
        }
        return rx;
    }
    int fd = -1;
};

}  // namespace simtest
