// SPDX-License-Identifier: GPL-3.0-or-later
// Responsiveness: how late the window's own timers run while the whole
// program (the window on the offscreen platform, the real serial control)
// scans the simulated radio. A timer on the window's thread asks to fire
// every 10 ms; each firing's lateness is its interval, on the monotonic
// clock, less those 10 ms.
//
//   qv7m-bench-respond [seconds=60] [-- radio options]
//
// The radio paces before every answer byte, with 40 ms of latency, and its
// bytes come in 16 ms batches as through a USB-serial adapter; options after
// "--" go to the simulator instead.

#include "app/main_window.h"
#include "radio/serial_line.h"
#include "sim/sim_harness.h"

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
long long scanFor(qv7m::AlignedLink& comm, qv7m::MessagePresenter& messages, int ms,
                  const std::function<void()>& starting) {
    qv7m::MainWindow form(comm, messages);
    form.endProgram = [] {};
    form.load();
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
    std::vector<std::string> radio{"--pacing", "before", "--latency", "40", "--batch", "16"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0) {
            radio.assign(argv + i + 1, argv + argc);
            break;
        }
        seconds = std::atof(argv[i]);
    }
    std::string radioText;
    for (const std::string& a : radio) radioText += " " + a;
    std::printf("respond: %g s scanning, a %d ms timer on the window's thread, radio%s\n", seconds, kTickMs,
                radioText.c_str());

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
    const long long steps = scanFor(*comm, messages, static_cast<int>(seconds * 1000), [&] {
        began = simtest::nowMs();
        last = began;
        tick.start(kTickMs);
    });
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
    std::printf("  messages shown          %lld\n", static_cast<long long>(messages.shown.size()));
    for (const QString& m : messages.shown) std::printf("    %s\n", qPrintable(m));
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
