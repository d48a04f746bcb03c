// SPDX-License-Identifier: GPL-3.0-or-later
// qv7m-radio: the simulated FT-1000MP on a pseudo-terminal. One thread waits
// in ppoll for the line, a signal or the next due time; nothing runs while
// the line is idle.

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#ifdef __linux__
#include <sys/inotify.h>
#include <sys/prctl.h>
#endif

#include "sim/band.h"
#include "sim/engine.h"
#include "sim/options.h"

using namespace qv7m::sim;

namespace {

volatile sig_atomic_t gStopSignal = 0;
void onSignal(int sig) { gStopSignal = sig; }

int64_t monotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

[[noreturn]] void die(const std::string& what) {
    std::fprintf(stderr, "qv7m-radio: %s\n", what.c_str());
    std::exit(1);
}

std::string sysError(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string readLink(const std::string& path) {
    char buf[4096];
    const ssize_t n = readlink(path.c_str(), buf, sizeof buf - 1);
    if (n < 0) return {};
    return std::string(buf, static_cast<size_t>(n));
}

// Puts the link in place atomically. A link left by an earlier simulator (one
// that dangles or points at a pseudo-terminal) is replaced; a user's link to
// a real port, or a file, is never touched.
bool makeLink(const std::string& link, const std::string& target, std::string& error) {
    struct stat st;
    if (lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            error = link + " exists and is not a symbolic link; not replacing it";
            return false;
        }
        const std::string old = readLink(link);
        struct stat tst;
        const bool dangling = stat(link.c_str(), &tst) != 0;
        if (!dangling && old.rfind("/dev/pts/", 0) != 0) {
            error = link + " points at " + old + "; not replacing it";
            return false;
        }
    }
    const std::string tmp = link + ".qv7m-radio." + std::to_string(getpid());
    unlink(tmp.c_str());
    if (symlink(target.c_str(), tmp.c_str()) != 0) {
        error = sysError("cannot make the link " + link);
        return false;
    }
    if (rename(tmp.c_str(), link.c_str()) != 0) {
        error = sysError("cannot make the link " + link);
        unlink(tmp.c_str());
        return false;
    }
    return true;
}

// Removes the link only while it is still ours.
void removeLink(const std::string& link, const std::string& target) {
    if (readLink(link) == target) unlink(link.c_str());
}

// Whether a process other than this one has the terminal open, from /proc:
// slow, so only for when inotify's events cannot be counted.
bool someoneHolds(const std::string& pts) {
    DIR* proc = opendir("/proc");
    if (!proc) return true;  // cannot tell: keep every byte
    const std::string self = std::to_string(getpid());
    bool held = false;
    while (!held) {
        dirent* e = readdir(proc);
        if (!e) break;
        if (e->d_name[0] < '0' || e->d_name[0] > '9' || self == e->d_name) continue;
        const std::string fdDir = std::string("/proc/") + e->d_name + "/fd";
        DIR* fds = opendir(fdDir.c_str());
        if (!fds) continue;
        while (dirent* f = readdir(fds)) {
            if (f->d_name[0] == '.') continue;
            if (readLink(fdDir + "/" + f->d_name) == pts) {
                held = true;
                break;
            }
        }
        closedir(fds);
    }
    closedir(proc);
    return held;
}

const char* faultName(const EngineConfig& e) {
    switch (e.fault) {
    case Fault::None: return "none";
    case Fault::Silent: return "silent";
    case Fault::Garbage: return "garbage";
    case Fault::Drop: return "drop";
    case Fault::Extra: return "extra";
    case Fault::Hangup: return "hangup";
    }
    return "?";
}

}  // namespace

int main(int argc, char** argv) {
    Options opt;
    std::string error;
    if (!parseOptions(argc, argv, opt, error)) {
        std::fprintf(stderr, "qv7m-radio: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (opt.help) {
        std::fputs(kHelpText, stdout);
        return 0;
    }

    Band band = builtinBand();
    if (!opt.bandFile.empty() && !loadBandFile(opt.bandFile, band, error)) {
        std::fprintf(stderr, "qv7m-radio: %s\n", error.c_str());
        return 2;
    }

    FILE* log = nullptr;
    if (opt.logFile == "-") {
        log = stdout;
        setvbuf(stdout, nullptr, _IOLBF, 0);
    } else if (!opt.logFile.empty()) {
        log = std::fopen(opt.logFile.c_str(), "w");
        if (!log) {
            std::fprintf(stderr, "qv7m-radio: %s: %s\n", opt.logFile.c_str(), std::strerror(errno));
            return 2;
        }
        setvbuf(log, nullptr, _IOLBF, 0);
    }

    // Signals are blocked except inside ppoll, so a stop never lands between
    // the check and the wait.
    sigset_t stopSet, waitMask;
    sigemptyset(&stopSet);
    sigaddset(&stopSet, SIGINT);
    sigaddset(&stopSet, SIGTERM);
    sigaddset(&stopSet, SIGHUP);
    sigprocmask(SIG_BLOCK, &stopSet, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGHUP);
    struct sigaction sa {};
    sa.sa_handler = onSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
#ifdef __linux__
    // Wake-ups within 10 us of the due time: byte times are 2.29 ms.
    prctl(PR_SET_TIMERSLACK, 10000UL, 0, 0, 0);
#endif

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) die(sysError("pseudo-terminal"));
    const char* name = ptsname(master);
    if (!name) die(sysError("pseudo-terminal name"));
    const std::string pts = name;
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);

    // Our own hold on the terminal: without it the master reports a hang-up
    // each time the program closes its port.
    const int held = open(pts.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (held < 0) die(sysError(pts));
    termios tio;
    if (tcgetattr(held, &tio) != 0) die(sysError(pts));
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSIZE | PARENB);
    tio.c_cflag |= CS8 | CSTOPB | CREAD | CLOCAL;
    cfsetispeed(&tio, B4800);
    cfsetospeed(&tio, B4800);
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(held, TCSANOW, &tio) != 0) die(sysError(pts));
    // Read only to take out what a program left unread when it closed.
    fcntl(held, F_SETFL, fcntl(held, F_GETFL) | O_NONBLOCK);

    // Who holds the port is followed by counting inotify's open and close
    // events: one of each per open file description (a dup or fork shares one
    // and closes it once), queued before the other program's open() or close()
    // returns. Looking at them just before every write therefore catches a
    // close and reopen however quick, with no /proc scan on the way.
    int watch = -1;
#ifdef __linux__
    watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch >= 0 && inotify_add_watch(watch, pts.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(watch);
        watch = -1;
    }
#endif
    int holders = 0;      // open descriptions of the terminal besides ours
    bool counted = true;  // false: holders came from /proc, which sees only "some"
    auto rescan = [&] {
        holders = someoneHolds(pts) ? 1 : 0;
        counted = holders == 0;
    };
    if (watch >= 0) rescan();  // before the link exists, so no open is counted twice
    // Without a watch nobody can be seen opening or closing: keep every byte.
    auto portHeld = [&] { return watch < 0 || holders > 0; };

    const int64_t t0 = monotonicNs();
    auto now = [t0] { return monotonicNs() - t0; };
    auto writeLog = [log](const std::string& line) {
        if (log) std::fprintf(log, "%s\n", line.c_str());
    };

    struct Handed {
        uint8_t byte;
        bool last;
    };
    std::vector<Handed> handed;  // by the engine, to be written together by flush()
    auto sendByte = [&handed](uint8_t b, int64_t, bool last) { handed.push_back({b, last}); };
    opt.engine.realClock = true;
    Engine engine(opt.engine, Meter(band, opt.engine.seed), sendByte, writeLog);

    // Takes in inotify's events. On a close, what the program left unread in
    // the terminal was sent to nobody: it is taken out and logged as lost.
    auto follow = [&] {
#ifdef __linux__
        if (watch < 0) return;
        alignas(inotify_event) char ev[4096];
        ssize_t n;
        while ((n = read(watch, ev, sizeof ev)) > 0) {
            for (ssize_t at = 0; at < n;) {
                const auto* e = reinterpret_cast<const inotify_event*>(ev + at);
                at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
                const bool was = holders > 0;
                if (e->mask & IN_Q_OVERFLOW)
                    rescan();
                else if (e->mask & IN_OPEN)
                    ++holders;
                else if ((e->mask & IN_CLOSE) && (--holders < 0 || (holders == 0 && !counted)))
                    rescan();
                if (was == (holders > 0)) continue;
                engine.event(now(), was ? "close" : "open");
                if (!was) continue;
                std::string unread;
                uint8_t buf[256];
                for (ssize_t k; (k = read(held, buf, sizeof buf)) > 0;) unread += hexBytes(buf, static_cast<size_t>(k));
                if (!unread.empty()) engine.event(now(), "lost bytes=" + unread + " why=closed");
            }
        }
#endif
    };

    // Writes what the engine handed over, in one go as an adapter passes on a
    // batch. Bytes are lost while nobody holds the port, and when the queue is
    // full, as an overrun would; they are logged at the end of their answer.
    std::string lost, lostWhy;
    auto flush = [&] {
        if (handed.empty()) return;
        follow();
        std::vector<uint8_t> bytes;
        for (const Handed& h : handed) bytes.push_back(h.byte);
        size_t sent = 0;
        if (portHeld()) {
            const ssize_t n = write(master, bytes.data(), bytes.size());
            sent = n > 0 ? static_cast<size_t>(n) : 0;
        }
        for (size_t i = 0; i < handed.size(); ++i) {
            if (i >= sent) {
                lost += hexBytes(&bytes[i], 1);
                lostWhy = portHeld() ? "overrun" : "closed";
            }
            if (handed[i].last && !lost.empty()) {
                engine.event(now(), "lost bytes=" + lost + " why=" + lostWhy);
                lost.clear();
            }
        }
        handed.clear();
    };

    if (!makeLink(opt.link, pts, error)) die(error);

    // The ready line comes first, also when the log goes to standard output.
    std::printf("qv7m-radio: ready %s -> %s\n", opt.link.c_str(), pts.c_str());
    std::fflush(stdout);
    engine.event(now(), "start link=" + opt.link + " pty=" + pts + " vfoa=" + std::to_string(opt.engine.vfoaHz) +
                            " vfob=" + std::to_string(opt.engine.vfobHz) + " seed=" + std::to_string(opt.engine.seed) +
                            " fault=" + faultName(opt.engine) +
                            " pacing=" + (opt.engine.paceBeforeFirstByte ? "before" : "between") +
                            " latency=" + formatMs(opt.engine.latencyNs) + " jitter=" + formatMs(opt.engine.jitterNs) +
                            " batch=" + formatMs(opt.engine.batchNs) +
                            " band=" + (opt.bandFile.empty() ? std::string("builtin") : opt.bandFile));

    pollfd fds[2] = {{master, POLLIN, 0}, {watch, POLLIN, 0}};
    const nfds_t nfds = watch >= 0 ? 2 : 1;
    uint8_t buf[4096];
    int exitCode = 0;

    for (;;) {
        follow();
        engine.advance(now());
        flush();
        if (engine.hungUp()) break;
        const int64_t due = engine.nextDeadline();
        timespec ts{}, *timeout = nullptr;
        if (due != Engine::kNever) {
            const int64_t wait = std::max<int64_t>(0, due - now());
            ts.tv_sec = static_cast<time_t>(wait / 1000000000);
            ts.tv_nsec = static_cast<long>(wait % 1000000000);
            timeout = &ts;
        }
        const int r = ppoll(fds, nfds, timeout, &waitMask);
        if (gStopSignal) break;
        if (r < 0) {
            if (errno == EINTR) continue;
            std::fprintf(stderr, "qv7m-radio: %s\n", sysError("ppoll").c_str());
            exitCode = 1;
            break;
        }
        if (fds[0].revents & POLLIN) {
            for (;;) {
                const ssize_t n = read(master, buf, sizeof buf);
                if (n <= 0) break;
                engine.receive(buf, static_cast<size_t>(n), now());
            }
        }
        // inotify's events are taken in at the top of the loop.
    }

    if (engine.hungUp()) {
        close(master);
        close(held);
        removeLink(opt.link, pts);
    } else {
        removeLink(opt.link, pts);
        if (gStopSignal)
            engine.event(now(), std::string("stop signal=") + (gStopSignal == SIGINT    ? "INT"
                                                               : gStopSignal == SIGTERM ? "TERM"
                                                                                        : "HUP"));
    }
    if (log && log != stdout) std::fclose(log);
    return exitCode;
}
