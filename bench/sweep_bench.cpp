// Sweep benchmark: scans the simulated radio at 10 kHz / 100 Hz on the real
// serial control, draws into a real backing image, and prints the time of a
// step against the line's limit, the time of a sweep, the processor time,
// and the share of steps drawn with the radio's true value.
//
//   qv7m-bench-sweep [sweeps=3]      (QV7M_SIM overrides the built qv7m-radio)

#include "display/imagesurface.h"
#include "display/recordingsurface.h"
#include "radio/radiolink.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
#include "support/drawn.h"
#include "support/sim_log.h"
#include "sweep/sweep.h"

#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

using namespace qv7m;

namespace {

double cpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

// Draws into the real image and keeps a record to read the values back.
class TeeSurface : public DrawingSurface {
public:
    TeeSurface(ImageSurface& image) : image_(image), record_(image.Width(), image.Height()) {}
    double Width() const override { return image_.Width(); }
    double Height() const override { return image_.Height(); }
    OleColor BackColor() const override { return image_.BackColor(); }
    OleColor ForeColor() const override { return image_.ForeColor(); }
    void Cls() override { image_.Cls(), record_.Cls(); }
    void Line(float a, float b, float c, float d, OleColor k) override { image_.Line(a, b, c, d, k), record_.Line(a, b, c, d, k); }
    void FilledBox(float a, float b, float c, float d, OleColor k) override {
        image_.FilledBox(a, b, c, d, k), record_.FilledBox(a, b, c, d, k);
    }
    void setCurrentX(float x) override { image_.setCurrentX(x), record_.setCurrentX(x); }
    void setCurrentY(float y) override { image_.setCurrentY(y), record_.setCurrentY(y); }
    float CurrentX() const override { return image_.CurrentX(); }
    float CurrentY() const override { return image_.CurrentY(); }
    void Print(const QString& t) override { image_.Print(t), record_.Print(t); }
    const RecordingSurface& record() const { return record_; }

private:
    ImageSurface& image_;
    RecordingSurface record_;
};

class Host : public SweepHost {
public:
    explicit Host(DrawingSurface& s) : surface_(s) {}
    QString stepText() const override { return QStringLiteral("100"); }
    int16_t styleIndex() const override { return 0; }
    int16_t holdValue() const override { return 0; }
    double spanUnits() const override { return 1000; }
    void setEnabled(Control, bool) override {}
    void setCaption(Label, const QString&) override {}
    void setSmeterWidth(double) override {}
    DrawingSurface& picture1() override { return surface_; }
    void doEvents() override {
        QCoreApplication::processEvents();
        if (onYield) onYield();
    }
    std::function<void()> onYield;

private:
    DrawingSurface& surface_;
};

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int sweeps = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    if (!std::getenv("QV7M_SIM")) setenv("QV7M_SIM", QV7M_SIM_PATH, 1);
    simtest::Sim sim;
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) return 1;

    auto comm = makeSerialControl();
    comm->setSettings(QStringLiteral("4800,n,8,2"));
    comm->setCommPort(1);
    comm->setInputLen(1);
    RadioLink link(*comm);
    ImageSurface image(8000, 2550, RGB(0, 0, 0), 0x00E0E0E0, QFont());
    TeeSurface tee(image);
    Host host(tee);
    Sweep sweep(link, host);
    link.meterValue = 0;

    double cpuAtFirstSweep = -1, cpuAtEnd = 0;
    QElapsedTimer wall;
    qint64 wallAtFirstSweep = 0, wallAtEnd = 0;
    long long stepsAtFirstSweep = 0;
    host.onYield = [&] {
        // Measure from the first sweep on (the start's status read is not a step).
        if (cpuAtFirstSweep < 0 && sweep.sweepsStarted == 1 && sweep.fullSteps == 0) {
            cpuAtFirstSweep = cpuSeconds();
            wallAtFirstSweep = wall.elapsed();
            stepsAtFirstSweep = sweep.fullSteps;
        }
        if (sweep.sweepsStarted > sweeps) {
            cpuAtEnd = cpuSeconds();
            wallAtEnd = wall.elapsed();
            sweep.stopRequested = -1;
        }
    };
    wall.start();
    sweep.starten_Click();
    comm->setPortOpen(false);

    const auto log = simlog::parse(sim.log());
    std::vector<simlog::Frame> tunings;
    std::vector<double> statusAt;
    for (const auto& f : log) {
        if (f.opcode() == 0x8A) tunings.push_back(f);
        if (f.opcode() == 0x10) statusAt.push_back(f.t);
    }
    // Step time from the radio's side: between consecutive set-VFO-B frames of one sweep.
    double sum = 0;
    int n = 0;
    for (size_t i = 1; i < tunings.size(); ++i) {
        if (i % 101 == 0) continue;  // across a sweep boundary
        sum += tunings[i].t - tunings[i - 1].t;
        ++n;
    }
    const double perStep = n ? sum / n : 0;
    double sweepMs = 0;
    if (statusAt.size() >= 3) sweepMs = (statusAt.back() - statusAt[1]) / (statusAt.size() - 2);
    const long long steps = sweep.fullSteps - stepsAtFirstSweep;
    const double cpu = cpuAtEnd - cpuAtFirstSweep;
    const double wallS = (wallAtEnd - wallAtFirstSweep) / 1000.0;

    const auto pts = drawn::points(tee.record().calls(), 2550, 0);
    size_t trueSteps = 0;
    const size_t compared = std::min(pts.size(), tunings.size());
    for (size_t i = 0; i < compared; ++i) trueSteps += pts[i].value == tunings[i].meter;

    const double limit = 35 * 11.0 / 4800 * 1000;  // 35 bytes a step on the wire
    std::printf("sweep benchmark: 10 kHz window, 100 Hz steps, %d sweeps, %lld full steps\n", sweeps, steps);
    std::printf("  ms per full step        %8.2f\n", perStep);
    std::printf("  line limit (ms)         %8.2f\n", limit);
    std::printf("  ratio                   %8.3f   (target <= 1.10)\n", limit > 0 ? perStep / limit : 0);
    std::printf("  ms per sweep            %8.1f   (101 steps + status read)\n", sweepMs);
    std::printf("  CPU ms per step         %8.3f\n", steps ? cpu * 1000 / steps : 0);
    std::printf("  CPU use while scanning  %8.2f %% of one core (target <= 5 %%)\n", wallS > 0 ? 100 * cpu / wallS : 0);
    std::printf("  steps drawn true        %zu / %zu (%.1f %%)\n", trueSteps, compared,
                compared ? 100.0 * trueSteps / compared : 0);
    QDir::setCurrent(QDir::tempPath());
    return 0;
}
