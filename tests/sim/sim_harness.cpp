#include "sim/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace simtest {

double nowMs() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

namespace {

std::string slurp(const std::string& path) {
  std::ostringstream s;
  s << std::ifstream(path).rdbuf();
  return s.str();
}

// Starts the simulator in a new scratch directory, its output in out.txt and err.txt there.
pid_t spawn(std::string& dir, const std::vector<std::string>& args) {
  const char* exe = std::getenv("QV7M_SIM");
  char tmpl[] = "/tmp/qv7m-sim-test-XXXXXX";
  if (!exe || !mkdtemp(tmpl)) throw std::runtime_error("QV7M_SIM is not set, or no scratch directory");
  dir = tmpl;
  std::vector<char*> argv{const_cast<char*>(exe)};
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // A test or benchmark stopped by a signal never reaches the destructor
    // that ends its simulator: let the simulator go with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (chdir(tmpl) == 0 && dup2(open("out.txt", O_WRONLY | O_CREAT, 0600), 1) == 1 &&
        dup2(open("err.txt", O_WRONLY | O_CREAT, 0600), 2) == 2)
      execv(exe, argv.data());
    _exit(127);
  }
  return pid;
}

}  // namespace

Outcome runToEnd(const std::vector<std::string>& args) {
  std::string dir;
  int st = 0;
  waitpid(spawn(dir, args), &st, 0);
  const Outcome r{WIFEXITED(st) ? WEXITSTATUS(st) : -1, slurp(dir + "/out.txt"), slurp(dir + "/err.txt")};
  std::system(("rm -rf " + dir).c_str());
  return r;
}

Sim::Sim(std::vector<std::string> args) {
  args.insert(args.begin(), {"--log", "log.txt"});
  pid = spawn(dir, args);
  // The simulator stands for hardware, which is never late: on a loaded
  // machine it must not wait for a core. It sleeps in ppoll nearly all the
  // time, so a real-time class costs the others nothing. (Needs root; else a
  // raised priority, or else the normal one.)
  const sched_param rt{10};
  if (sched_setscheduler(pid, SCHED_FIFO, &rt) != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(pid), -10);
  std::string got;
  for (const double until = nowMs() + 5000; nowMs() < until && got.find('\n') == std::string::npos; usleep(2000)) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) pid = -1;  // ended: whatever it printed says why
    got = slurp(dir + "/out.txt");
    if (pid < 0) break;
  }
  readyLine = got.substr(0, got.find('\n'));
  const auto arrow = readyLine.find(" -> ");
  if (readyLine.rfind("qv7m-radio: ready ", 0) != 0 || arrow == std::string::npos)
    throw std::runtime_error("no ready line, got: " + got + slurp(dir + "/err.txt"));
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

int Sim::stop(int sig) { return pid > 0 && kill(pid, sig) == 0 ? waitExit(5000) : -1; }

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

void Port::close() {
  if (fd >= 0) ::close(fd), fd = -1;
}

void Port::send(const Bytes& b) {
  if (::write(fd, b.data(), b.size()) != static_cast<ssize_t>(b.size())) throw std::runtime_error("short write");
}

Port::Rx Port::read(size_t n, int timeoutMs) {
  Rx rx;
  uint8_t buf[256];
  ssize_t got = 0;
  for (const double until = nowMs() + timeoutMs; rx.bytes.size() < n;) {
    pollfd p{fd, POLLIN, 0};
    const int left = static_cast<int>(until - nowMs());
    if (left <= 0 || poll(&p, 1, left) <= 0 || !(p.revents & POLLIN) || (got = ::read(fd, buf, sizeof buf)) <= 0) break;
    rx.bytes.insert(rx.bytes.end(), buf, buf + got);
    rx.at.insert(rx.at.end(), static_cast<size_t>(got), nowMs());
  }
  return rx;
}

}  // namespace simtest
