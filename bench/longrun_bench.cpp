// Long run: the whole program (the window on the offscreen platform, the real
// serial control) scans the simulated radio for the given time while the
// operator retunes now and then, and reports memory, open descriptors, steps
// done and steps drawn true.
//
//   qv7m-bench-longrun [minutes=30] [warm-up seconds=60]

#include "app/form1.h"
#include "radio/serialcontrol.h"
#include "sim/band.h"
#include "sim/sim_harness.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

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

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!std::getenv("QV7M_SIM")) setenv("QV7M_SIM", QV7M_SIM_PATH, 1);
    QApplication app(argc, argv);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 30;
    const int warmup = argc > 2 ? std::atoi(argv[2]) : 60;
    const qint64 total = static_cast<qint64>(minutes * 60000);

    // The operator moves between 20 m and 40 m every two minutes.
    std::string schedule;
    for (int s = 120, i = 0; s < minutes * 60 + 120; s += 120, ++i)
        schedule += (schedule.empty() ? "" : ",") + std::to_string(s) + "s=" + (i % 2 ? "14250000" : "7035000");
    simtest::Sim sim({"--retune", schedule});
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    if (::symlink(sim.link.c_str(), "COM1") != 0) return 1;

    const sim::Meter truth(sim::builtinBand(), 1);
    auto comm = makeSerialControl();
    RecordingPresenter messages;
    Form1 form(*comm, messages);
    form.endProgram = [] {};
    long long stepsTrue = 0, stepsFalse = 0;
    form.sweep.onPoint = [&](int32_t f, int16_t m) {
        const int expected = truth.reading(int64_t(f) * 10);
        if (m == expected) {
            ++stepsTrue;
        } else if (++stepsFalse <= 20) {
            std::printf("  untrue: step %lld at %d0 Hz drew %d, the radio said %d\n", form.sweep.fullSteps, f, m,
                        expected);
        }
    };
    form.load();
    if (!form.starten->isEnabled()) {
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
        if (clock.elapsed() >= total) form.setup->click();
    });
    tick.start(1000);
    clock.start();
    form.starten->click();  // returns when "Setup" stops the scan
    tick.stop();
    const long rssEnd = rssKiB();
    const int fdsEnd = openFds();
    const double cpu = cpuSeconds() - cpuWarm;
    const double seconds = clock.elapsed() / 1000.0;

    std::printf("long run: %.1f min scanning, %lld sweeps, %lld full steps\n", seconds / 60,
                form.sweep.sweepsStarted, form.sweep.fullSteps);
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
