#pragma once
// Runs the built qv7m-radio (path in QV7M_SIM) in a scratch directory and
// talks to it through its link with plain termios.
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

using Bytes = std::vector<uint8_t>;

struct Outcome {
  int exitCode = -1;
  std::string out, err;
};
Outcome runToEnd(const std::vector<std::string>& args);  // for --help and bad options

double nowMs();  // CLOCK_MONOTONIC

class Sim {
 public:
  explicit Sim(std::vector<std::string> args = {});  // with a log; returns once it is ready
  ~Sim();
  int stop(int sig);  // the exit status, or -1 if it did not end
  int waitExit(int timeoutMs);
  std::vector<std::string> log() const;

  std::string dir, link, pty, readyLine;
  pid_t pid = -1;
};

class Port {
 public:
  explicit Port(const std::string& path);  // raw, 4800 8N2
  ~Port() { close(); }
  void send(const Bytes& b);
  struct Rx {
    Bytes bytes;
    std::vector<double> at;  // nowMs() when each byte was read
  };
  Rx read(size_t n, int timeoutMs);  // until n bytes came or the time is up
  void close();
  int fd = -1;
};

}  // namespace simtest
