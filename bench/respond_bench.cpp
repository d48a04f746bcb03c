// SPDX-License-Identifier: GPL-3.0-or-later
// Responsiveness: how late the window's own timers run while the whole
// program (the window on the offscreen platform, the real serial control)
// scans the simulated radio. A timer on the window's thread asks to fire
// every 10 ms; each firing's lateness is its interval, on the monotonic
// clock, less those 10 ms.
//
//   qv7m-bench-respond [seconds=60] [--extras] [-- radio options]
//
// --extras turns on everything the plot's menu offers beyond the standard
// scope (the fast sweep, max and min hold, the average, peak marks, the
// readout, Region 1's band plan) and opens the signal list and the band
// history beside the window. It also prints the program's processor share.
// The radio paces before every answer byte, with 40 ms of latency, and its
// bytes come in 16 ms batches as through a USB-serial adapter; options after
// "--" go to the simulator instead.

#include "app/main_window.h"
#include "files/preferences.h"
#include "radio/serial_line.h"
#include "sim/sim_harness.h"

#include <sys/resource.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kTickMs = 10;

// ======================================================================
// The only part of this benchmark that knows the window's interface: the
// window built as the program builds it, "Start scan" pressed (`starting`
// runs just before), and "Setup" pressed once `ms` have passed. It works
// whether the click on "Start scan" returns only when the scan stops or at
// once: then the event loop runs here until the time is up. Returns the steps
// drawn, or -1 if the radio did not answer the probe.
long long scanFor(qv7m::AlignedLink& comm, qv7m::MessagePresenter& messages, int ms, bool extras,
                  const std::function<void()>& starting) {
    qv7m::MainWindow form(comm, messages);
    form.endProgram = [] {};
    form.load();
    if (extras) {
        form.extras().showSignals();
        form.bandWatch().showHistory();
    }
    auto* startButton = form.findChild<QPushButton*>(QStringLiteral("startButton"));
    auto* setupButton = form.findChild<QPushButton*>(QStringLiteral("setupButton"));
    if (!startButton->isEnabled()) return -1;
    form.show();
    QTimer stopper;
    stopper.setSingleShot(true);
    QObject::connect(&stopper, &QTimer::timeout, setupButton, &QPushButton::click);
    starting();
    stopper.start(ms);
    startButton->click();
    if (stopper.isActive()) {
        QEventLoop loop;
        QObject::connect(&stopper, &QTimer::timeout, &loop, &QEventLoop::quit);
        loop.exec();
    }
    // The scan's thread ends the scan and closes the port before the window goes.
    const long long drawn = form.scan().stepsDrawn();
    QEventLoop ending;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &ending, [&] {
        if (!form.scan().running()) ending.quit();
    });
    poll.start(20);
    ending.exec();
    return drawn;
}
// ======================================================================

double percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const std::size_t i = static_cast<std::size_t>(p / 100 * double(sorted.size() - 1) + 0.5);
    return sorted[std::min(i, sorted.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
    setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::getenv("QV7M_SIM")) setenv("QV7M_SIM", QV7M_SIM_PATH, 1);
    QApplication app(argc, argv);
    double seconds = 60;
    bool extras = false;
    std::vector<std::string> radio{"--pacing", "before", "--latency", "40", "--batch", "16"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            radio.assign(argv + i + 1, argv + argc);
            break;
        }
        if (std::strcmp(argv[i], "--extras") == 0) {
            extras = true;
            continue;
        }
        seconds = std::atof(argv[i]);
    }
    // The program's own settings in a folder of this run's, never the user's.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    if (extras) {
        namespace prefs = qv7m::preferences;
        for (const QString& key :
             {prefs::kFastSweep, prefs::kMaxHold, prefs::kMinHold, prefs::kAverage, prefs::kMarkPeaks, prefs::kReadout})
            prefs::writeFlag(key, true);
        prefs::writeNumber(prefs::kBandPlan, 1);
    }
    std::string radioText;
    for (const std::string& a : radio) radioText += " " + a;
    std::printf("respond: %g s scanning%s, a %d ms timer on the window's thread, radio%s\n", seconds,
                extras ? " with every extra on" : "", kTickMs, radioText.c_str());

    QTemporaryDir work;  // outlives the simulator, whose clean-up runs a shell in it
    simtest::Sim sim(radio);
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) return 1;

    auto comm = std::make_unique<qv7m::AlignedLink>(qv7m::makeSerialLine());
    struct : qv7m::MessagePresenter {
        void show(const QString& text) override { shown << text; }
        QStringList shown;
    } messages;

    std::vector<double> lateness;
    lateness.reserve(static_cast<std::size_t>(seconds * 1000 / kTickMs) + 16);
    double last = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = simtest::nowMs();
        lateness.push_back(now - last - kTickMs);
        last = now;
    });
    // The window's building and the probe before the scan are not counted.
    double began = 0;
    double cpuBegan = 0;
    const auto cpuSeconds = [] {
        rusage use{};
        getrusage(RUSAGE_SELF, &use);
        return double(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
               double(use.ru_utime.tv_usec + use.ru_stime.tv_usec) / 1e6;
    };
    const long long steps = scanFor(*comm, messages, static_cast<int>(seconds * 1000), extras, [&] {
        began = simtest::nowMs();
        last = began;
        cpuBegan = cpuSeconds();
        tick.start(kTickMs);
    });
    const double cpu = cpuSeconds() - cpuBegan;
    tick.stop();
    const double elapsed = (simtest::nowMs() - began) / 1000;
    if (steps < 0) {
        std::fprintf(stderr, "qv7m-bench-respond: the radio did not answer the probe\n");
        return 1;
    }

    std::vector<double> sorted = lateness;
    std::sort(sorted.begin(), sorted.end());
    const auto over = [&](double ms) {
        return std::count_if(sorted.begin(), sorted.end(), [&](double l) { return l > ms; });
    };
    std::printf("  scanned %.1f s, %lld steps drawn (%.1f a second)\n", elapsed, steps, steps / elapsed);
    std::printf("  timer firings           %zu (%.0f asked for)\n", sorted.size(), elapsed * 1000 / kTickMs);
    std::printf("  lateness median         %.2f ms\n", percentile(sorted, 50));
    std::printf("  lateness 99th pct       %.2f ms\n", percentile(sorted, 99));
    std::printf("  lateness worst          %.2f ms\n", sorted.empty() ? 0 : sorted.back());
    std::printf("  firings late > 5 ms     %lld, > 20 ms %lld, > 50 ms %lld\n", static_cast<long long>(over(5)),
                static_cast<long long>(over(20)), static_cast<long long>(over(50)));
    std::printf("  processor               %.2f s, %.2f %% of one core (offscreen)\n", cpu, 100 * cpu / elapsed);
    std::printf("  messages shown          %lld\n", static_cast<long long>(messages.shown.size()));
    for (const QString& m : messages.shown) std::printf("    %s\n", qPrintable(m));
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
