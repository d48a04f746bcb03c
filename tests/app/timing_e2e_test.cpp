// SPDX-License-Identifier: GPL-3.0-or-later
// The whole program on radios that time their answers differently: the real serial port on the
// simulator's pseudo-terminal, the window offscreen, at 10 kHz and 250 Hz in "Waterfall"; the operator
// retunes in the first sweep. Every read takes its own answer's byte, every step draws the radio's
// reading at its frequency, each sweep centres on the radio. The timings, pairwise: pacing before every
// byte or only between, latency 0, 5 or 40 ms, jitter 0 or 10 ms, 16 ms batches or none, two busy
// processes beside the program or none; each in the standard sweep and in the fast one.

#include "faults/fault_harness.h"
#include "sim/band.h"

#include <signal.h>
#include <sys/wait.h>

using namespace faults;

namespace {

struct Timing {
    const char* pacing;
    int latencyMs;
    int jitterMs;
    int batchMs;
    bool busy;
};
void PrintTo(const Timing& t, std::ostream* os) {
    *os << t.pacing << ", latency " << t.latencyMs << ", jitter " << t.jitterMs << ", batch " << t.batchMs
        << (t.busy ? " ms, busy" : " ms");
}

const Timing kTimings[] = {
    {"before", 0, 0, 0, false},   {"between", 0, 10, 16, true}, {"before", 5, 10, 0, true},
    {"between", 5, 0, 16, false}, {"before", 40, 0, 16, true},  {"between", 40, 10, 0, false},
};

// Processes that use all the processor they get, until the end of the case.
struct BusyProcesses {
    explicit BusyProcesses(int n) {
        while (n-- > 0)
            if (const pid_t pid = ::fork(); pid == 0)
                for (volatile unsigned spin = 0;; spin = spin + 1) {
                }
            else if (pid > 0)
                pids.push_back(pid);
    }
    ~BusyProcesses() {
        for (pid_t pid : pids) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    std::vector<pid_t> pids;
};

class RadioTiming : public Program, public ::testing::WithParamInterface<std::tuple<Timing, bool>> {};

}  // namespace

TEST_P(RadioTiming, TheScanDrawsTheRadioWhateverItsTiming) {
    const auto& [t, fast] = GetParam();
    writeIni("0\r\n0\r\n1\r\n2\r\nDL1ABC\r\n");
    // The start and the first sweep's status read take 41 frames, each step 7; fast, 11 and 2.
    const char* retune = fast ? "60f=7035000" : "200f=7035000";
    simtest::Sim radio({"--pacing", t.pacing, "--latency", std::to_string(t.latencyMs), "--jitter",
                        std::to_string(t.jitterMs), "--batch", std::to_string(t.batchMs), "--retune", retune});
    linkTo(radio);
    BusyProcesses busy(t.busy ? 2 : 0);
    start();
    form->setFastSweep(fast);
    ASSERT_TRUE(messages.shown.isEmpty());

    const qv7m::sim::Meter truth(qv7m::sim::builtinBand(), 1);
    int untrue = 0;
    QStringList centres;  // as each sweep's first point shows them
    sweep().onPoint = [&](int32_t f, int16_t m) {
        if (sweep().sweepsStarted() > centres.size()) centres << text(*form, "centreLabel");
        if (m != truth.reading(int64_t(f) * 10) && ++untrue <= 10)
            ADD_FAILURE() << "step " << sweep().stepsDrawn() << " at " << f << "0 Hz drew " << m << ", the radio read "
                          << truth.reading(int64_t(f) * 10);
    };
    QImage plot;
    ASSERT_TRUE(scanUntil(
        [&] {
            if (sweep().sweepsStarted() < 3) return false;
            plot = child<qv7m::PictureBox>(*form, "plot")->surface().image();
            click(*form, "setupButton");
            return true;
        },
        60));
    EXPECT_EQ(centres, QStringList({"14250000 Hz", "7035000 Hz"}));
    EXPECT_EQ(sweep().stepsDrawn(), 2 * 41);
    EXPECT_EQ(untrue, 0);
    // The second sweep as the window shows it: each column's green is the reading.
    for (int i = 0; i < 41; ++i) {
        const int x = std::min(int(200 * i * plot.devicePixelRatio() / 15), plot.width() - 1);
        EXPECT_EQ(qGreen(plot.pixel(x, plot.height() / 2)), truth.reading(7030000 + 250 * i)) << "column " << i;
    }
    EXPECT_GE(expectInStep(radio), 1 + 3 + 2 * 41);
}

INSTANTIATE_TEST_SUITE_P(Radio, RadioTiming, ::testing::Combine(::testing::ValuesIn(kTimings), ::testing::Bool()));
