// SPDX-License-Identifier: GPL-3.0-or-later
// The program's processor share and memory under a real X server, from the
// outside: a virtual screen (Xvfb), the simulated radio on ./COM1 of a
// scratch directory with its default timing, and the built qv7m there, whose
// "Start scan" is pressed with xdotool. After the warm-up, the process's
// processor time and resident memory are read from /proc for the given
// minutes; then "Quit" is pressed and everything ends.
//
//   qv7m-bench-desktop [minutes=5] [warm-up seconds=60] [--fast | --extras]
//
// The program's own settings are a fresh folder of the run's. --fast turns
// the fast sweep on there; --extras turns on everything the plot's menu
// offers beyond the standard scope: the fast sweep, max and min hold, the average, peak marks, the
// readout (with the pointer left over the plot) and Region 1's band plan.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

double nowSeconds() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

void sleepSeconds(double s) {
    timespec ts;
    ts.tv_sec = time_t(s);
    ts.tv_nsec = long((s - double(ts.tv_sec)) * 1e9);
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Starts a program in dir with its output to the file (or nowhere). The
// child dies with this process, so that an interrupted run leaves nothing.
pid_t spawn(const std::vector<std::string>& args, const std::string& dir, const std::string& output, int keepFd = -1) {
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent) _exit(127);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
        const int out = open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(out, 1);
        dup2(out, 2);
        for (int fd = 3; fd < 1024; ++fd)
            if (fd != keepFd) close(fd);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// Ends a child: the signal, then SIGKILL if it has not gone in time.
// Returns how it ended, as the shell says it.
std::string end(pid_t pid, int sig, double seconds = 5) {
    if (pid <= 0) return "not started";
    if (sig != 0) kill(pid, sig);
    for (const double until = nowSeconds() + seconds; nowSeconds() < until; sleepSeconds(0.02)) {
        int st = 0;
        if (waitpid(pid, &st, WNOHANG) == pid)
            return WIFEXITED(st) ? "exit " + std::to_string(WEXITSTATUS(st)) : "signal " + std::to_string(WTERMSIG(st));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return "killed";
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// What a command prints, its first line.
std::string firstLine(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        if (std::fgets(buf, sizeof buf, p)) out = buf;
        pclose(p);
    }
    out.erase(std::find(out.begin(), out.end(), '\n'), out.end());
    return out;
}

// Processor time (user and system, every thread) in seconds, or -1.
double cpuSeconds(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string f;
    unsigned long long utime = 0, stime = 0;
    // From the state (field 3): user time is field 14, system time field 15.
    for (int i = 3; i <= 15 && fields >> f; ++i) {
        if (i == 14) utime = std::stoull(f);
        if (i == 15) stime = std::stoull(f);
    }
    return double(utime + stime) / double(sysconf(_SC_CLK_TCK));
}

long rssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

// The steps the radio has served: its log has a meter reading on every
// setting of VFO-B.
long stepsServed(const std::string& log) {
    std::ifstream in(log);
    long n = 0;
    for (std::string line; std::getline(in, line);)
        if (line.find(" meter=") != std::string::npos) ++n;
    return n;
}

struct Run {
    std::string work;
    pid_t xvfb = -1, radio = -1, app = -1;
    std::string display, window;

    ~Run() {
        if (app > 0) end(app, SIGTERM);
        if (radio > 0) end(radio, SIGTERM);
        if (xvfb > 0) end(xvfb, SIGTERM);
        std::error_code ignored;
        if (!work.empty()) std::filesystem::remove_all(work, ignored);
    }

    // Presses the window's left button at x, y (logical pixels in the window).
    void click(int x, int y) const {
        const std::string c = "DISPLAY=" + display + " xdotool mousemove --window " + window + " " + std::to_string(x) +
                              " " + std::to_string(y) + " click 1";
        if (std::system(c.c_str()) != 0) std::fprintf(stderr, "qv7m-bench-desktop: xdotool failed\n");
    }
};

int fail(const std::string& why) {
    std::fprintf(stderr, "qv7m-bench-desktop: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::vector<double> numbers;
    bool extras = false;
    bool fast = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--extras") == 0)
            extras = true;
        else if (std::strcmp(argv[i], "--fast") == 0)
            fast = true;
        else
            numbers.push_back(std::atof(argv[i]));
    }
    const double minutes = numbers.size() > 0 ? numbers[0] : 5;
    const double warmup = numbers.size() > 1 ? numbers[1] : 60;
    std::printf("desktop: qv7m under Xvfb, %g s warm-up, then %g min measured, radio with its default timing%s\n",
                warmup, minutes,
                extras ? ", every extra on"
                : fast ? ", fast sweep"
                       : "");

    Run run;
    char tmpl[] = "/tmp/qv7m-desktop-XXXXXX";
    if (!mkdtemp(tmpl)) return fail("no scratch directory");
    run.work = tmpl;

    // The X server picks a free display and writes its number when it is ready.
    int fds[2];
    if (pipe(fds) != 0) return fail("no pipe");
    run.xvfb = spawn(
        {"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "720x520x24", "-dpi", "96", "-nolisten", "tcp"},
        run.work, run.work + "/xvfb.log", fds[1]);
    close(fds[1]);
    // It writes the number and its line end separately, and dies if the pipe
    // is gone in between: read up to the line end.
    char number[32] = {};
    size_t got = 0;
    while (got < sizeof number - 1 && !std::strchr(number, '\n')) {
        const ssize_t n = read(fds[0], number + got, sizeof number - 1 - got);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        got += size_t(n);
    }
    close(fds[0]);
    if (!std::strchr(number, '\n')) return fail("Xvfb did not start: " + readFile(run.work + "/xvfb.log"));
    run.display = ":" + std::string(number, std::strcspn(number, "\n"));

    // The simulator makes ./COM1 and says when it is ready. It stands for
    // hardware, which never waits for a core: a real-time class where allowed.
    run.radio = spawn({QV7M_SIM_PATH, "--link", "COM1", "--log", "radio.log"}, run.work, run.work + "/radio.out");
    const sched_param rt{10};
    if (sched_setscheduler(run.radio, SCHED_FIFO, &rt) != 0) setpriority(PRIO_PROCESS, id_t(run.radio), -10);
    for (const double until = nowSeconds() + 10; nowSeconds() < until; sleepSeconds(0.05))
        if (readFile(run.work + "/radio.out").find("ready") != std::string::npos) break;
    if (readFile(run.work + "/radio.out").find("ready") == std::string::npos)
        return fail("the radio simulator did not start: " + readFile(run.work + "/radio.out"));

    setenv("DISPLAY", run.display.c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
    std::filesystem::create_directories(run.work + "/config/qv7m");
    setenv("XDG_CONFIG_HOME", (run.work + "/config").c_str(), 1);
    {
        std::ofstream conf(run.work + "/config/qv7m/qv7m.conf");
        if (extras)
            conf << "[plot]\nmaxHold=true\nminHold=true\naverage=true\nmarkPeaks=true\nreadout=true\nbandPlan=1\n";
        if (extras || fast) conf << "[sweep]\nfast=true\n";
    }
    run.app = spawn({QV7M_PATH}, run.work, run.work + "/qv7m.log");
    for (const double until = nowSeconds() + 20; run.window.empty() && nowSeconds() < until; sleepSeconds(0.1))
        run.window = firstLine("xdotool search --name 'Bandscope QV-7M' 2>/dev/null");
    if (run.window.empty()) return fail("the window did not appear: " + readFile(run.work + "/qv7m.log"));
    sleepSeconds(1);  // mapped and drawn before the click

    // "Start scan" sits at 8,48 (105 x 36 pixels) in the window.
    run.click(60, 66);
    for (const double until = nowSeconds() + 15; nowSeconds() < until; sleepSeconds(0.1))
        if (stepsServed(run.work + "/radio.log") > 0) break;
    if (stepsServed(run.work + "/radio.log") == 0) return fail("the scan did not start");
    const double started = nowSeconds();
    // The pointer rests over the plot (at 8,144 for 533 x 170), so that the readout follows every batch.
    if (extras) {
        const std::string c = "DISPLAY=" + run.display + " xdotool mousemove --window " + run.window + " 300 220";
        if (std::system(c.c_str()) != 0) std::fprintf(stderr, "qv7m-bench-desktop: xdotool failed\n");
    }

    sleepSeconds(std::max(0.0, started + warmup - nowSeconds()));
    const double t0 = nowSeconds();
    const double cpu0 = cpuSeconds(run.app);
    const long rss0 = rssKiB(run.app);
    const long steps0 = stepsServed(run.work + "/radio.log");
    long rssPeak = rss0;
    const double until = t0 + minutes * 60;
    while (nowSeconds() < until) {
        sleepSeconds(std::min(1.0, std::max(0.0, until - nowSeconds())));
        if (waitpid(run.app, nullptr, WNOHANG) == run.app) {
            run.app = -1;
            return fail("qv7m ended during the run: " + readFile(run.work + "/qv7m.log"));
        }
        rssPeak = std::max(rssPeak, rssKiB(run.app));
    }
    const double t1 = nowSeconds();
    const double cpu1 = cpuSeconds(run.app);
    const long rss1 = rssKiB(run.app);
    const long steps1 = stepsServed(run.work + "/radio.log");
    rssPeak = std::max(rssPeak, rss1);

    // "Quit" sits at 448,92 (93 x 20 pixels).
    run.click(494, 102);
    const std::string appEnd = end(run.app, 0, 10);
    run.app = -1;
    const std::string radioEnd = end(run.radio, SIGTERM);
    run.radio = -1;
    end(run.xvfb, SIGTERM);
    run.xvfb = -1;

    const double measured = t1 - t0;
    const long growth = rss1 - rss0;
    std::printf("  measured %.1f min after %.0f s of scanning, %.1f steps a second served by the radio\n",
                measured / 60, t0 - started, double(steps1 - steps0) / measured);
    std::printf("  processor               %.2f s, %.2f %% of one core\n", cpu1 - cpu0, 100 * (cpu1 - cpu0) / measured);
    std::printf("  resident after warm-up  %ld KiB\n", rss0);
    std::printf("  resident at the end     %ld KiB (peak %ld KiB)\n", rss1, rssPeak);
    std::printf("  growth                  %ld KiB, %.0f KiB an hour\n", growth, double(growth) * 3600 / measured);
    std::printf("  qv7m after Quit         %s; simulator %s\n", appEnd == "exit 0" ? "ended (exit 0)" : appEnd.c_str(),
                radioEnd.c_str());
    return appEnd == "exit 0" ? 0 : 1;
}
