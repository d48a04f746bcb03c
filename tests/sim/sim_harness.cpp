// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/sim_harness.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace simtest {

double nowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

Sim::Sim(std::vector<std::string> args) {
    const char* exe = std::getenv("QV7M_SIM");
    char tmpl[] = "/tmp/qv7m-sim-test-XXXXXX";
    if (!exe || !mkdtemp(tmpl)) throw std::runtime_error("QV7M_SIM is not set, or no scratch directory");
    dir = tmpl;
    args.insert(args.begin(), {exe, "--log", "log.txt"});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    if ((pid = fork()) == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);  // a test stopped by a signal never reaches the destructor
        if (getppid() == parent && chdir(tmpl) == 0 && dup2(open("out.txt", O_WRONLY | O_CREAT, 0600), 1) == 1)
            execv(exe, argv.data());
        _exit(127);
    }
    // The simulator stands for hardware, which is never late: on a loaded
    // machine it must not wait for a core. It sleeps nearly all the time, so a
    // real-time class costs the others nothing. (Needs root; else a raised priority.)
    const sched_param rt{10};
    if (sched_setscheduler(pid, SCHED_FIFO, &rt) != 0) setpriority(PRIO_PROCESS, static_cast<id_t>(pid), -10);
    std::string got;
    for (const double until = nowMs() + 5000; nowMs() < until && got.find('\n') == std::string::npos; usleep(2000)) {
        std::ifstream out(dir + "/out.txt");
        got.assign(std::istreambuf_iterator<char>(out), {});
        if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // ended: what it printed says why
    }
    const std::string ready = got.substr(0, got.find('\n'));  // "qv7m-radio: ready COM1 -> /dev/pts/N"
    const auto arrow = ready.find(" -> ");
    if (ready.rfind("qv7m-radio: ready ", 0) != 0 || arrow == std::string::npos)
        throw std::runtime_error("the simulator did not start: " + got);
    link = dir + "/" + ready.substr(18, arrow - 18);
    pty = ready.substr(arrow + 4);
}

Sim::~Sim() {
    if (pid > 0 && stop(SIGTERM) < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

int Sim::stop(int sig) {
    if (pid <= 0 || kill(pid, sig) != 0) return -1;
    for (const double until = nowMs() + 5000; nowMs() < until; usleep(2000)) {
        if (int st = 0; waitpid(pid, &st, WNOHANG) == pid) {
            pid = -1;
            return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
        }
    }
    return -1;
}

std::vector<std::string> Sim::log() const {
    std::ifstream f(dir + "/log.txt");
    std::vector<std::string> lines;
    for (std::string l; std::getline(f, l);) lines.push_back(l);
    return lines;
}

}  // namespace simtest
