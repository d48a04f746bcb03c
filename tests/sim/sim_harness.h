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
// Runs the simulator to its end (for --help and bad options).
Outcome runToEnd(const std::vector<std::string>& args);

double nowMs();  // CLOCK_MONOTONIC

class Sim {
 public:
  // Starts it with a log and waits for the ready line.
  explicit Sim(std::vector<std::string> args = {});
  ~Sim();
  // Sends a signal and waits for the exit status (-1 if it did not end).
  int stop(int sig);
  int waitExit(int timeoutMs);
  std::vector<std::string> log() const;

  std::string dir, link, pty, readyLine;
  pid_t pid = -1;
};

class Port {
 public:
  explicit Port(const std::string& path);  // raw, 4800 8N2
  ~Port();
  void send(const Bytes& b);
  struct Rx {
    Bytes bytes;
    std::vector<double> at;  // nowMs() when each byte was read
  };
  // Reads until n bytes came or timeoutMs passed.
  Rx read(size_t n, int timeoutMs);
  void close();
  int fd = -1;
};

}  // namespace simtest
