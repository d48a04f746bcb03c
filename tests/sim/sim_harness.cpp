#include "sim/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <stdexcept>

namespace simtest {

double nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

namespace {

std::string scratchDir() {
  char tmpl[] = "/tmp/qv7m-sim-test-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("mkdtemp");
  return tmpl;
}

// Starts the simulator in `dir`; out/err are the read ends of its stdout/stderr.
pid_t spawn(const std::string& dir, const std::vector<std::string>& args, int& out, int& err) {
  const char* exe = std::getenv("QV7M_SIM");
  if (!exe) throw std::runtime_error("QV7M_SIM is not set");
  int po[2], pe[2];
  if (pipe2(po, O_CLOEXEC) || pipe2(pe, O_CLOEXEC)) throw std::runtime_error("pipe");
  std::vector<char*> argv{const_cast<char*>(exe)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(po[1], 1);
    dup2(pe[1], 2);
    if (chdir(dir.c_str()) == 0) execv(exe, argv.data());
    _exit(127);
  }
  ::close(po[1]);
  ::close(pe[1]);
  out = po[0];
  err = pe[0];
  return pid;
}

std::string drain(int fd) {
  std::string s;
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;) s.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return s;
}

}  // namespace

Outcome runToEnd(const std::vector<std::string>& args) {
  const std::string dir = scratchDir();
  int out, err, st = 0;
  const pid_t pid = spawn(dir, args, out, err);
  Outcome r;
  r.err = drain(err);
  r.out = drain(out);
  waitpid(pid, &st, 0);
  r.exitCode = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  std::system(("rm -rf " + dir).c_str());
  return r;
}

Sim::Sim(std::vector<std::string> args) : dir(scratchDir()) {
  args.insert(args.begin(), {"--log", "log.txt"});
  int out, err;
  pid = spawn(dir, args, out, err);
  ::close(err);
  // The simulator stands for hardware, which is never late: on a loaded
  // machine it must not be the process that waits for a core. It sleeps in
  // ppoll nearly all the time, so a real-time class costs the others nothing.
  // (Needs root; without it, a raised priority, or else the normal one.)
  const sched_param rt{10};
  if (sched_setscheduler(pid, SCHED_FIFO, &rt) != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(pid), -10);
  // The ready line comes within a few ms; allow plenty on a loaded machine.
  std::string got;
  char c[256];
  ssize_t n = 1;
  for (const double until = nowMs() + 5000; got.find('\n') == std::string::npos && n > 0 && nowMs() < until;) {
    pollfd p{out, POLLIN, 0};
    if (poll(&p, 1, 100) > 0 && (n = ::read(out, c, sizeof c)) > 0) got.append(c, static_cast<size_t>(n));
  }
  ::close(out);
  readyLine = got.substr(0, got.find('\n'));
  const auto arrow = readyLine.find(" -> ");
  if (readyLine.rfind("qv7m-radio: ready ", 0) != 0 || arrow == std::string::npos)
    throw std::runtime_error("no ready line, got: " + got);
  link = dir + "/" + readyLine.substr(18, arrow - 18);
  pty = readyLine.substr(arrow + 4);
}

Sim::~Sim() {
  if (pid > 0 && stop(SIGTERM) < 0) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  std::system(("rm -rf " + dir).c_str());
}

int Sim::waitExit(int timeoutMs) {
  for (const double until = nowMs() + timeoutMs; nowMs() < until; usleep(2000)) {
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == pid) {
      pid = -1;
      return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
    }
  }
  return -1;
}

int Sim::stop(int sig) {
  if (pid <= 0) return -1;
  kill(pid, sig);
  return waitExit(5000);
}

std::vector<std::string> Sim::log() const {
  std::ifstream f(dir + "/log.txt");
  std::vector<std::string> lines;
  for (std::string l; std::getline(f, l);) lines.push_back(l);
  return lines;
}

Port::Port(const std::string& path) : fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
  if (fd < 0) throw std::runtime_error("cannot open " + path);
  termios t{};
  tcgetattr(fd, &t);
  cfmakeraw(&t);
  t.c_cflag |= CS8 | CSTOPB | CLOCAL | CREAD;
  cfsetspeed(&t, B4800);
  tcsetattr(fd, TCSANOW, &t);
}

Port::~Port() { close(); }

void Port::close() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

void Port::send(const Bytes& b) {
  if (::write(fd, b.data(), b.size()) != static_cast<ssize_t>(b.size())) throw std::runtime_error("short write");
}

Port::Rx Port::read(size_t n, int timeoutMs) {
  Rx rx;
  const double until = nowMs() + timeoutMs;
  uint8_t buf[256];
  while (rx.bytes.size() < n) {
    const int left = static_cast<int>(until - nowMs());
    pollfd p{fd, POLLIN, 0};
    ssize_t got = 0;
    if (left <= 0 || poll(&p, 1, left) <= 0 || !(p.revents & POLLIN) || (got = ::read(fd, buf, sizeof buf)) <= 0) break;
    rx.bytes.insert(rx.bytes.end(), buf, buf + got);
    rx.at.insert(rx.at.end(), static_cast<size_t>(got), nowMs());
  }
  return rx;
}

}  // namespace simtest
