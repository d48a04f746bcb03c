// SPDX-License-Identifier: GPL-3.0-or-later
// qv7m-bench-sweep [sweeps=3]: scans the simulated radio (QV7M_SIM, else the built one) at
// 10 kHz / 100 Hz, once with the radio's pacing before every answer byte and once only between
// bytes, and prints the step time against the slower of the line and the radio, the processor
// use while scanning and the truth of the steps drawn; then times the probe of a silent radio.

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

// The scan on its own thread, as the program runs it, drawing into an image on this one. With a
// client, one rigctld client asks for the frequency every second while the scan runs.
void scan(bool paceBefore, int sweeps, bool withClient = false) {
    withRadio({"--pacing", paceBefore ? "before" : "between"}, [&](AlignedLink& link, simtest::Sim& sim) {
        Image image{8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont()};
        ScanWorker worker(link);
        worker.start();
        RigctlServer server;
        std::unique_ptr<RadioSharing> sharing;
        QTcpSocket client;
        QTimer poll;
        int answers = 0;
        if (withClient) {
            QString error;
            if (!server.listen(QHostAddress::LocalHost, 0, &error)) throw std::runtime_error(error.toStdString());
            sharing = std::make_unique<RadioSharing>(server, worker);
            client.connectToHost(QHostAddress::LocalHost, server.serverPort());
            QObject::connect(&poll, &QTimer::timeout, [&] { client.write("f\n"); });
            QObject::connect(&client, &QTcpSocket::readyRead, [&] {
                while (client.canReadLine()) answers += client.readLine().trimmed().toLongLong() > 0;
            });
            poll.start(1000);
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
                         [](int, const QString& m) { std::printf("  failed: %s\n", qPrintable(m)); });
        worker.post([&worker] { worker.startScan(1, ScanSettings{1, QStringLiteral("100"), 1000, 8000}); });
        loop.exec();
        poll.stop();
        worker.shutDown();

        // Step times from the radio's side: its set-VFO-B frames, 101 a sweep.
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
        const double perStep = n ? sum / n : 0;
        // A step is 35 bytes on the line; the radio answers a meter request in five paced bytes.
        const double line = 35 * kByteMs;
        const double radio = kMeterBytes * kByteMs + (paceBefore ? kMeterBytes : kMeterBytes - 1) * kPacingMs;
        const double limit = std::max(line, radio);
        const auto pts = drawn::points(image.calls, 2550, 0);
        const size_t compared = std::min(pts.size(), tunings.size());
        size_t trueSteps = 0;
        for (size_t i = 0; i < compared; ++i) trueSteps += pts[i].value == tunings[i].meter;
        std::printf("  %-8s %8.2f %10.2f %-6s %6.3f %7.2f   %zu / %zu", paceBefore ? "before" : "between", perStep,
                    limit, radio > line ? "radio" : "line", perStep / limit, wallS > 0 ? 100 * cpu / wallS : 0,
                    trueSteps, compared);
        if (withClient) std::printf("   with a client polling f each second: %d answers", answers);
        std::printf("\n");
    });
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
    std::printf("sweep benchmark: 10 kHz window, 100 Hz steps, %d sweeps for each pacing model\n", sweeps);
    std::printf("  pacing    ms/step   limit ms         ratio   CPU %%   steps drawn true\n");
    scan(true, sweeps);
    scan(false, sweeps);
    scan(true, sweeps, true);
    std::printf("  limit: the slower of the line and the radio; targets: ratio <= 1.05, CPU <= 2 %% of one core\n");
    probeSilent();
    return 0;
}
