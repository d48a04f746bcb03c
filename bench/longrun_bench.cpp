// SPDX-License-Identifier: GPL-3.0-or-later
// Long run: the whole program (the window on the offscreen platform, the real
// serial control) scans the simulated radio for the given time while the
// operator retunes now and then, and reports memory, open descriptors, steps
// done and steps drawn true.
//
//   qv7m-bench-longrun [minutes=30] [warm-up seconds=60] [--trace] [-- radio options]
//
// The radio paces before every answer byte, with 10 ms of latency jitter, and
// its bytes come in 16 ms batches as through a USB-serial adapter; options
// after "--" go to the simulator instead. With --trace, every untrue step is
// followed by what the line did around it: the bytes written, every byte
// taken in with its stamp, and what each read gave.

#include "app/main_window.h"
#include "radio/aligned_link.h"
#include "radio/serial_line.h"
#include "sim/band.h"
#include "sim/sim_harness.h"

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

using namespace qv7m;

namespace {

long rssKiB() {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

int openFds() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') ++n;
        closedir(d);
    }
    return n - 1;  // the listing's own descriptor
}

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// What the line did lately, for --trace. Written on the scan's thread, dumped on the window's.
struct Trace {
    struct Event {
        char kind;  // 'O' written, 'R' taken in, 'I' a byte taken by an operation
        LineTime at;
        QByteArray bytes;
        LineTime stamp = 0;
    };
    std::deque<Event> events;
    LineTime origin = -1;
    mutable std::mutex mutex;
    void add(Event e) {
        const std::lock_guard<std::mutex> lock(mutex);
        if (origin < 0) origin = e.at;
        events.push_back(std::move(e));
        while (events.size() > 400) events.pop_front();
    }
    void dump(std::size_t last) const {
        const std::lock_guard<std::mutex> lock(mutex);
        const std::size_t from = events.size() > last ? events.size() - last : 0;
        for (std::size_t i = from; i < events.size(); ++i) {
            const Event& e = events[i];
            const double t = (e.at - origin) / 1e6;
            switch (e.kind) {
            case 'O': std::printf("    %10.3f out  %s\n", t, e.bytes.toHex(' ').constData()); break;
            case 'R':
                std::printf("    %10.3f in   %s stamped %.3f\n", t, e.bytes.toHex().constData(),
                            (e.stamp - origin) / 1e6);
                break;
            case 'I':
                std::printf("    %10.3f take %s\n", t, e.bytes.isEmpty() ? "-" : e.bytes.toHex().constData());
                break;
            }
        }
    }
};

// The serial line, recording what it writes and takes in.
class TracingLine : public Line {
public:
    TracingLine(std::unique_ptr<Line> inner, Trace& trace) : inner_(std::move(inner)), trace_(trace) {}
    void open(int16_t port, const LineSettings& settings) override { inner_->open(port, settings); }
    void close() override { inner_->close(); }
    bool isOpen() const override { return inner_->isOpen(); }
    void write(const uint8_t* bytes, size_t count) override {
        trace_.add({'O', now(), QByteArray(reinterpret_cast<const char*>(bytes), int(count))});
        inner_->write(bytes, count);
    }
    LineTime now() const override { return inner_->now(); }
    void sleep(LineTime duration) override { inner_->sleep(duration); }
    void receive(LineTime deadline, std::vector<StampedByte>& out) override {
        const std::size_t before = out.size();
        inner_->receive(deadline, out);
        const LineTime t = now();
        for (std::size_t i = before; i < out.size(); ++i)
            trace_.add({'R', t, QByteArray(1, char(out[i].value)), out[i].at});
    }

private:
    std::unique_ptr<Line> inner_;
    Trace& trace_;
};

// The alignment layer, recording what each operation takes.
class TracingLink : public AlignedLink {
public:
    TracingLink(std::unique_ptr<TracingLine> line, Trace& trace) : AlignedLink(std::move(line)), trace_(trace) {}
    std::optional<uint8_t> take(int i) override {
        const std::optional<uint8_t> got = AlignedLink::take(i);
        trace_.add({'I', line().now(), got ? QByteArray(1, char(*got)) : QByteArray()});
        return got;
    }

private:
    Trace& trace_;
};

}  // namespace

int main(int argc, char** argv) {
    // Line by line, so that a trace can be followed while the run goes on.
    setvbuf(stdout, nullptr, _IOLBF, 0);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::getenv("QV7M_SIM")) setenv("QV7M_SIM", QV7M_SIM_PATH, 1);
    QApplication app(argc, argv);
    double minutes = 30;
    int warmup = 60, numbers = 0;
    bool tracing = false;
    std::vector<std::string> radio{"--pacing", "before", "--jitter", "10", "--batch", "16"};
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--trace") == 0) {
            tracing = true;
        } else if (std::strcmp(argv[i], "--") == 0) {
            radio.assign(argv + i + 1, argv + argc);
            break;
        } else if (numbers++ == 0) {
            minutes = std::atof(argv[i]);
        } else {
            warmup = std::atoi(argv[i]);
        }
    }
    const qint64 total = static_cast<qint64>(minutes * 60000);
    std::string radioText;
    for (const std::string& a : radio) radioText += " " + a;
    std::printf("long run: %g min scanning, radio%s\n", minutes, radioText.c_str());

    // The operator moves between 20 m and 40 m every two minutes.
    std::string schedule;
    for (int s = 120, i = 0; s < minutes * 60 + 120; s += 120, ++i)
        schedule += (schedule.empty() ? "" : ",") + std::to_string(s) + "s=" + (i % 2 ? "14250000" : "7035000");
    radio.insert(radio.end(), {"--retune", schedule});
    QTemporaryDir work;  // outlives the simulator, whose clean-up runs a shell in it
    simtest::Sim sim(radio);
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) return 1;

    const sim::Meter truth(sim::builtinBand(), 1);
    Trace trace;
    std::unique_ptr<AlignedLink> comm;
    if (tracing)
        comm = std::make_unique<TracingLink>(std::make_unique<TracingLine>(makeSerialLine(), trace), trace);
    else
        comm = std::make_unique<AlignedLink>(makeSerialLine());
    struct : MessagePresenter {
        void show(const QString& text) override { shown << text; }
        QStringList shown;
    } messages;
    MainWindow form(*comm, messages);
    form.endProgram = [] {};
    long long stepsTrue = 0, stepsFalse = 0;
    form.scan().onPoint = [&](int32_t f, int16_t m) {
        const int expected = truth.reading(int64_t(f) * 10);
        if (m == expected) {
            ++stepsTrue;
        } else if (++stepsFalse <= 20) {
            std::printf("  untrue: step %lld at %d0 Hz drew %d, the radio said %d\n", form.scan().stepsDrawn(), f, m,
                        expected);
            if (tracing) trace.dump(260);
        }
    };
    form.load();
    auto* startButton = form.findChild<QPushButton*>(QStringLiteral("startButton"));
    auto* setupButton = form.findChild<QPushButton*>(QStringLiteral("setupButton"));
    if (!startButton->isEnabled()) {
        std::fprintf(stderr, "qv7m-bench-longrun: the radio did not answer the probe\n");
        return 1;
    }
    form.show();

    QElapsedTimer clock;
    long rssWarm = -1, rssPeak = 0;
    int fdsWarm = -1;
    double cpuWarm = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        rssPeak = std::max(rssPeak, rssKiB());
        if (rssWarm < 0 && clock.elapsed() >= warmup * 1000) {
            rssWarm = rssKiB();
            fdsWarm = openFds();
            cpuWarm = cpuSeconds();
        }
        if (clock.elapsed() >= total) setupButton->click();
    });
    tick.start(1000);
    clock.start();
    startButton->click();
    QEventLoop scanning;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (clock.elapsed() >= total && !form.scan().running()) scanning.quit();
    });
    poll.start(100);
    scanning.exec();
    tick.stop();
    const long rssEnd = rssKiB();
    const int fdsEnd = openFds();
    const double cpu = cpuSeconds() - cpuWarm;
    const double seconds = clock.elapsed() / 1000.0;

    std::printf("  scanned %.1f min, %lld sweeps, %lld full steps\n", seconds / 60, form.scan().sweepsStarted(),
                form.scan().stepsDrawn());
    std::printf("  steps drawn true        %lld of %lld%s\n", stepsTrue, stepsTrue + stepsFalse,
                stepsFalse ? "   <-- NOT ALL TRUE" : "");
    std::printf("  resident after warm-up  %ld KiB (after %d s)\n", rssWarm, warmup);
    std::printf("  resident at the end     %ld KiB (peak %ld KiB)\n", rssEnd, rssPeak);
    std::printf("  growth after warm-up    %ld KiB (target < 1024)\n", rssEnd - rssWarm);
    std::printf("  open descriptors        %d after warm-up, %d at the end\n", fdsWarm, fdsEnd);
    std::printf("  CPU after warm-up       %.1f s (%.2f %% of one core)\n", cpu,
                seconds > warmup ? 100 * cpu / (seconds - warmup) : 0);
    std::printf("  messages shown          %lld\n", static_cast<long long>(messages.shown.size()));
    for (const QString& m : messages.shown) std::printf("    %s\n", qPrintable(m));
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
