// SPDX-License-Identifier: GPL-3.0-or-later
// qv7m-bench-sweep [sweeps=3]: scans the simulated radio (QV7M_SIM, else the built one) at
// 10 kHz / 100 Hz, in the standard sweep and the fast one, with the radio's pacing before every
// answer byte and only between bytes, and prints the step time against the slower of the line and
// the radio, the processor use while scanning and the truth of the steps drawn; the fast sweep once
// more behind 16 ms batches and at 40 ms latency; each sweep alone and with two rigctld clients
// polling; then times the probe of a silent radio.

#include "display/imagesurface.h"
#include "display/trace.h"
#include "drawn.h"
#include "radio/cat_codec.h"
#include "radio/serial_line.h"
#include "sharing/radio_sharing.h"
#include "sim/sim_harness.h"
#include "support/sim_log.h"
#include "sweep/scan_worker.h"

#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGuiApplication>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <stdexcept>

using namespace qv7m;

namespace {

// The window's picture: a real image, with the lines and boxes kept to read the values back.
struct Image : ImageSurface {
    using ImageSurface::ImageSurface;
    std::vector<DrawCall> calls;
    void line(float a, float b, float c, float d, OleColor k) override {
        ImageSurface::line(a, b, c, d, k);
        calls.push_back(DrawCall::line(a, b, c, d, k));
    }
    void filledBox(float a, float b, float c, float d, OleColor k) override {
        ImageSurface::filledBox(a, b, c, d, k);
        calls.push_back(DrawCall::box(a, b, c, d, k));
    }
};

constexpr double kByteMs = cat::kByteNs / 1e6;
constexpr double kPacingMs = 15;  // what the follow-up frames set
constexpr int kMeterBytes = cat::kMeterCopies + 1;

// The simulator with these options, COM1 in a scratch directory leading to it, and the link on it.
void withRadio(std::vector<std::string> args, const std::function<void(AlignedLink&, simtest::Sim&)>& body) {
    QTemporaryDir work;  // outlives the simulator, whose clean-up runs a shell in it
    simtest::Sim sim(std::move(args));
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) throw std::runtime_error("cannot link COM1");
    AlignedLink link(makeSerialLine());
    body(link, sim);
    QDir::setCurrent(QDir::tempPath());
}

// How one scan is run: the sweep, the radio's timing, and whether two rigctld clients poll meanwhile.
struct Run {
    bool fast = false;
    bool paceBefore = true;
    std::vector<std::string> radio;  // further simulator options
    bool clients = false;
    const char* label = "";
};

// Per-step time, as the radio saw its set-VFO-B frames arrive, 101 a sweep.
struct Measured {
    double perStep = 0;
    double cpuPercent = 0;
    size_t trueSteps = 0;
    size_t compared = 0;
    int clientLines = 0;
    int clientErrors = 0;
};

// A rigctld client on the server that sends `commands` every `ms`, counting the lines it gets back.
struct PollingClient {
    PollingClient(quint16 port, QByteArray commands, int ms, Measured& m) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        QObject::connect(&timer, &QTimer::timeout, [this, commands] { socket.write(commands); });
        QObject::connect(&socket, &QTcpSocket::readyRead, [this, &m] {
            while (socket.canReadLine()) {
                ++m.clientLines;
                m.clientErrors += socket.readLine().startsWith("RPRT -");
            }
        });
        timer.start(ms);
    }
    QTcpSocket socket;
    QTimer timer;
};

// The scan on its own thread, as the program runs it, drawing into an image on this one.
Measured scan(const Run& run, int sweeps) {
    Measured m;
    std::vector<std::string> args{"--pacing", run.paceBefore ? "before" : "between"};
    args.insert(args.end(), run.radio.begin(), run.radio.end());
    withRadio(args, [&](AlignedLink& link, simtest::Sim& sim) {
        Image image{8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont()};
        ScanWorker worker(link);
        worker.start();
        RigctlServer server;
        std::unique_ptr<RadioSharing> sharing;
        std::vector<std::unique_ptr<PollingClient>> clients;
        if (run.clients) {
            QString error;
            if (!server.listen(QHostAddress::LocalHost, 0, &error)) throw std::runtime_error(error.toStdString());
            sharing = std::make_unique<RadioSharing>(server, worker);
            // A digital-mode program, and a rig-control panel.
            clients.push_back(std::make_unique<PollingClient>(server.serverPort(), "f\nm\ns\nv\nt\n", 1000, m));
            clients.push_back(std::make_unique<PollingClient>(server.serverPort(), "f\nl STRENGTH\n", 200, m));
        }
        // Measured from the first sweep on (the start's status read is not a step).
        double cpu = -1;
        double wallS = 0;
        QElapsedTimer wall;
        int started = 0;
        QEventLoop loop;
        QObject::connect(&worker, &ScanWorker::windowChosen, [&](int, const SweepWindow&) {
            ++started;
            if (started == 1) {
                cpu = double(std::clock()) / CLOCKS_PER_SEC;
                wall.start();
            }
            if (started > sweeps && wallS == 0) {
                cpu = double(std::clock()) / CLOCKS_PER_SEC - cpu;
                wallS = wall.elapsed() / 1000.0;
                worker.requestStop();
                worker.post([&worker] { worker.setup(); });
            }
        });
        QObject::connect(&worker, &ScanWorker::passShown, [&](int, const PassShown& pass) {
            if (!pass.drawn) return;
            const PlotPoint& p = pass.point;
            drawPoint(image, PointInputs{p.plotX, p.halfColumn, p.prevX, p.prevMeter, p.reading, p.shade, 0});
        });
        QObject::connect(&worker, &ScanWorker::scanEnded, &loop, &QEventLoop::quit);
        QObject::connect(&worker, &ScanWorker::failed,
                         [](int, const QString& msg) { std::printf("  failed: %s\n", qPrintable(msg)); });
        const bool fast = run.fast;
        worker.post([&worker, fast] {
            worker.setFast(fast);
            worker.startScan(1, ScanSettings{1, QStringLiteral("100"), 1000, 8000});
        });
        loop.exec();
        clients.clear();
        worker.shutDown();

        std::vector<simlog::Frame> tunings;
        for (const auto& f : simlog::parse(sim.log()))
            if (f.opcode() == cat::op::kSetVfoB) tunings.push_back(f);
        double sum = 0;
        int n = 0;
        for (size_t i = 1; i < tunings.size(); ++i) {
            if (i % 101 == 0) continue;  // not across a sweep's boundary
            sum += tunings[i].t - tunings[i - 1].t;
            ++n;
        }
        m.perStep = n ? sum / n : 0;
        m.cpuPercent = wallS > 0 ? 100 * cpu / wallS : 0;
        const auto pts = drawn::points(image.calls, 2550, 0);
        m.compared = std::min(pts.size(), tunings.size());
        for (size_t i = 0; i < m.compared; ++i) m.trueSteps += pts[i].value == tunings[i].meter;
    });
    return m;
}

// The slower of the line and the radio for one step: the standard step sends 35 bytes and waits for
// five bytes paced at 15 ms; the fast one sends 10, and its answer overlaps the next step's frames.
double limitMs(const Run& run) {
    if (run.fast) return 10 * kByteMs;
    const double line = 35 * kByteMs;
    const double radio = kMeterBytes * kByteMs + (run.paceBefore ? kMeterBytes : kMeterBytes - 1) * kPacingMs;
    return std::max(line, radio);
}

Measured report(const Run& run, int sweeps) {
    const Measured m = scan(run, sweeps);
    const double limit = limitMs(run);
    std::printf("  %-10s %-8s %-16s %8.2f %9.1f %7.3f %7.2f   %zu / %zu (%.1f %%)", run.fast ? "fast" : "standard",
                run.paceBefore ? "before" : "between", run.label, m.perStep, limit, m.perStep / limit, m.cpuPercent,
                m.trueSteps, m.compared, m.compared ? 100.0 * double(m.trueSteps) / double(m.compared) : 0.0);
    if (run.clients) std::printf("   clients: %d lines, %d errors", m.clientLines, m.clientErrors);
    std::printf("\n");
    return m;
}

// The window's port choice on a radio that never answers: port test, open, meter read, close.
void probeSilent() {
    withRadio({"--fault", "silent"}, [](AlignedLink& aligned, simtest::Sim&) {
        RadioLink link(aligned);
        QElapsedTimer t;
        t.start();
        link.forgetMeter();
        const bool portOk = link.testPort(1);
        link.open(1);
        link.readMeter();
        link.close();
        std::printf("probe of a silent radio   %.3f s (target < 0.5 s)%s%s\n", t.nsecsElapsed() / 1e9,
                    portOk ? "" : ", port test FAILED", link.meter() == -1 ? "" : ", a reading CAME");
    });
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int sweeps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    setenv("QV7M_SIM", QV7M_SIM_PATH, 0);
    std::printf("sweep benchmark: 10 kHz window, 100 Hz steps, %d sweeps a run, the radio at latency 0\n", sweeps);
    std::printf("  sweep      pacing   radio / clients   ms/step  limit ms   ratio   CPU %%   steps drawn true\n");
    const std::vector<std::string> quick{"--latency", "0"};
    for (bool fast : {false, true})
        for (bool before : {true, false}) report(Run{fast, before, quick, false, "-"}, sweeps);
    report(Run{true, true, {"--latency", "0", "--batch", "16"}, false, "16 ms batches"}, sweeps);
    report(Run{true, true, {"--latency", "40"}, false, "latency 40 ms"}, sweeps);
    std::printf("  goal: fast ratio <= 1.10 (25.2 ms), 100 %% true; limit: the slower of the line and the radio\n");
    std::printf("sharing: a client polling f m s v t each second, another f and l STRENGTH every 200 ms\n");
    for (bool fast : {true, false}) {
        const double alone = report(Run{fast, true, quick, false, "alone"}, sweeps).perStep;
        const double shared = report(Run{fast, true, quick, true, "two clients"}, sweeps).perStep;
        std::printf("  %s step grows by %.1f %% (goal <= %d %%)\n", fast ? "fast" : "standard",
                    alone > 0 ? 100 * (shared / alone - 1) : 0.0, fast ? 15 : 25);
    }
    probeSilent();
    return 0;
}
