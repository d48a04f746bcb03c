// qv7m-bench-sweep [sweeps=3]: scans the simulated radio (QV7M_SIM, else the built one) at 10 kHz /
// 100 Hz, and prints the step time against the line's limit, sweep time, processor time and truth.

#include "display/imagesurface.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
#include "support/drawn.h"
#include "support/sim_log.h"
#include "support/sweep_host.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

using namespace qv7m;

// The window's picture: a real image, with the lines and boxes kept to read the values back.
struct Host : TestHost {
    struct Image : ImageSurface {
        using ImageSurface::ImageSurface;
        std::vector<DrawCall> calls;
        void Line(float a, float b, float c, float d, OleColor k) override {
            ImageSurface::Line(a, b, c, d, k), calls.push_back(DrawCall::line(a, b, c, d, k));
        }
        void FilledBox(float a, float b, float c, float d, OleColor k) override {
            ImageSurface::FilledBox(a, b, c, d, k), calls.push_back(DrawCall::box(a, b, c, d, k));
        }
    } image{8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont()};
    DrawingSurface& picture1() override { return image; }
};

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int sweeps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    setenv("QV7M_SIM", QV7M_SIM_PATH, 0);
    QTemporaryDir work;  // outlives the simulator, whose clean-up runs a shell in it
    simtest::Sim sim;
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) return 1;
    auto comm = makeSerialControl();
    comm->setSettings(QStringLiteral("4800,n,8,2"));
    comm->setCommPort(1);
    comm->setInputLen(1);
    RadioLink link(*comm);
    Host host;
    Sweep sweep(link, host);

    // Measured from the first sweep on (the start's status read is not a step).
    double cpu = -1, wallS = 0;
    QElapsedTimer wall;
    host.onYield = [&] {
        QCoreApplication::processEvents();
        if (cpu < 0 && sweep.sweepsStarted == 1 && sweep.fullSteps == 0) {
            cpu = double(std::clock()) / CLOCKS_PER_SEC;
            wall.start();
        }
        if (sweep.sweepsStarted > sweeps && sweep.stopRequested != -1) {
            cpu = double(std::clock()) / CLOCKS_PER_SEC - cpu;
            wallS = wall.elapsed() / 1000.0;
            sweep.stopRequested = -1;
        }
    };
    sweep.starten_Click();
    comm->setPortOpen(false);

    // Step and sweep times from the radio's side: set-VFO-B frames (101 a sweep), status reads.
    std::vector<simlog::Frame> tunings;
    std::vector<double> statusAt;
    for (const auto& f : simlog::parse(sim.log())) {
        if (f.opcode() == 0x8A) tunings.push_back(f);
        if (f.opcode() == 0x10) statusAt.push_back(f.t);
    }
    double sum = 0;
    int n = 0;
    for (size_t i = 1; i < tunings.size(); ++i)
        if (i % 101 != 0) sum += tunings[i].t - tunings[i - 1].t, ++n;  // not across a sweep's boundary
    const double perStep = n ? sum / n : 0, limit = 35 * 11.0 / 4800 * 1000;  // 35 bytes a step on the wire
    const auto pts = drawn::points(host.image.calls, 2550, 0);
    const size_t compared = std::min(pts.size(), tunings.size());
    size_t trueSteps = 0;
    for (size_t i = 0; i < compared; ++i) trueSteps += pts[i].value == tunings[i].meter;
    const long long steps = sweep.fullSteps;
    std::printf("sweep benchmark: 10 kHz window, 100 Hz steps, %d sweeps, %lld full steps\n", sweeps, steps);
    std::printf("  ms per full step        %8.2f\n", perStep);
    std::printf("  line limit (ms)         %8.2f\n", limit);
    std::printf("  ratio                   %8.3f   (target <= 1.10)\n", perStep / limit);
    std::printf("  ms per sweep            %8.1f   (101 steps + status read)\n",
                statusAt.size() >= 3 ? (statusAt.back() - statusAt[1]) / (statusAt.size() - 2) : 0);
    std::printf("  CPU ms per step         %8.3f\n", steps ? cpu * 1000 / steps : 0);
    std::printf("  CPU use while scanning  %8.2f %% of one core (target <= 5 %%)\n", wallS > 0 ? 100 * cpu / wallS : 0);
    std::printf("  steps drawn true        %zu / %zu (%.1f %%)\n", trueSteps, compared,
                compared ? 100.0 * trueSteps / compared : 0);
    return 0;
}
