// SPDX-License-Identifier: GPL-3.0-or-later
// A radio that misbehaves on the line, and the cable pulled at every moment the program uses it. Each
// time: one message a failure, the program alive (or ended where "Quit" asked for it), the window as
// "Setup" leaves it, every read taking what the rules give from the radio's own answer, the settings
// file written only by "Quit", the port given back; and once a sound radio is on the port, choosing it
// again works and a scan reads it right; in the standard sweep and in the fast one. Frames at 80 kHz and
// 1000 Hz: the probe 1-6, the scan's start 7-24, the first sweep's status request 25-41; step k tunes at
// 42 + 7 (k - 1), then asks for the meter. Fast: the start 7-9, the first sweep's 10-11, step k 12 + 2 (k - 1).

#include "faults/fault_harness.h"

#include <csignal>

using namespace faults;

namespace {

enum class Probe { Answered, NoResponse, Gone };
enum class Then { Setup, ScanFails, KillAndSetup, KillAndQuit };  // how the scan ends

// The simulator's --fault ("" none), and for the fast sweep where it differs; steps: drawn before the
// press, or when the scan fails. (How the link keeps in step on radios that pace their bytes otherwise:
// tests/radio.)
struct Fault {
    const char* name;
    const char* simFault;
    const char* fastSimFault;
    Probe probe;
    Then then;
    long long steps;
};
void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

// A radio that sends random bytes, or adds one at the start of its meter
// answer, is no FT-1000MP answering: the probe finds no meter answer.
const Fault kFaults[] = {
    {"Silent", "silent", "silent", Probe::NoResponse, Then::Setup, 30},
    {"Garbage", "garbage", "garbage", Probe::NoResponse, Then::Setup, 30},
    {"ByteDropped", "drop", "drop", Probe::Answered, Then::Setup, 30},
    {"ByteAdded", "extra", "extra", Probe::Answered, Then::Setup, 30},
    {"CablePulledInProbe", "hangup=1", "hangup=1", Probe::Gone, Then::Setup, 0},
    {"CablePulledInStartStatusRead", "hangup=12", "hangup=9", Probe::Answered, Then::ScanFails, 0},
    {"CablePulledInSweepStatusRead", "hangup=30", "hangup=11", Probe::Answered, Then::ScanFails, 0},
    {"CablePulledInStep11", "hangup=113", "hangup=33", Probe::Answered, Then::ScanFails, 10},
    {"CablePulledInSetup", "", "", Probe::Answered, Then::KillAndSetup, 10},
    {"CablePulledInQuit", "", "", Probe::Answered, Then::KillAndQuit, 10},
};

class Faults : public Program, public ::testing::WithParamInterface<std::tuple<Fault, bool>> {
protected:
    // Another radio on the port, and the port chosen again, no sooner than a user could.
    void plugIn(const simtest::Sim& radio) {
        linkTo(radio);
        usleep(200 * 1000);
        chooseAndProbe(0);
    }
    // The last message names the port, its device and why it went.
    void expectGone(const simtest::Sim& radio) {
        const QString m = messages.shown.value(messages.shown.size() - 1);
        const QString port = QStringLiteral("COM1 (%1): the port has gone away (").arg(radio.pty.c_str());
        EXPECT_TRUE(m.startsWith(port)) << qPrintable(m);
        EXPECT_TRUE(m.endsWith(QLatin1Char(')'))) << qPrintable(m);
        EXPECT_GT(m.size(), port.size() + 1) << qPrintable(m);
    }
};

}  // namespace

TEST_P(Faults, TheProgramSurvivesAndThePortIsFreeAgain) {
    const Fault& f = std::get<0>(GetParam());
    const bool fast = std::get<1>(GetParam());
    const char* simFault = fast ? f.fastSimFault : f.simFault;
    simtest::Sim radio(*simFault ? std::vector<std::string>{"--fault", simFault} : std::vector<std::string>{});
    simtest::Sim sound;
    const bool pulled = f.probe == Probe::Gone || f.then != Then::Setup;
    int shown = f.probe != Probe::Answered;  // messages so far
    linkTo(radio);
    const double probeFrom = simtest::nowMs();
    start();
    form->setFastSweep(fast);
    ASSERT_EQ(messages.shown.size(), shown);
    EXPECT_EQ(child(*form, "startButton")->isEnabled(), f.probe == Probe::Answered);
    EXPECT_TRUE(form->windowTitle().endsWith("(DL1ABC)"));
    if (f.probe == Probe::Gone) expectGone(radio);
    if (f.probe == Probe::NoResponse) {
        EXPECT_EQ(messages.shown[0], QStringLiteral("No response from Yaesu FT-1000MP on COM1"));
        EXPECT_LT(simtest::nowMs() - probeFrom, 1000) << "a silent radio is found out within a second";
        plugIn(sound);  // then the radio falls silent after a probe it answered
        ASSERT_TRUE(child(*form, "startButton")->isEnabled());
        linkTo(radio);
    }
    if (f.probe != Probe::Gone) {
        QString centre;
        ASSERT_TRUE(scanUntil([&] {
            if (f.then == Then::ScanFails) return !sweep().running();
            if (sweep().stepsDrawn() < f.steps) return false;
            centre = text(*form, "centreLabel");
            if (f.then != Then::Setup) radio.stop(SIGKILL);
            click(*form, f.then == Then::KillAndQuit ? "quitButton" : "setupButton");
            return true;
        }));
        QCoreApplication::processEvents();
        // Status reads that find nothing leave the centre where the window put it.
        if (std::string(simFault) == "silent") {
            EXPECT_EQ(centre, QStringLiteral("14250000 Hz")) << qPrintable(centre);
        }
        if (f.then == Then::ScanFails) {
            EXPECT_EQ(sweep().stepsDrawn(), f.steps) << sweep().stepsDrawn();
        }
        shown += pulled;
        ASSERT_EQ(messages.shown.size(), shown) << "one message a failure, no cascade";
        if (pulled) {
            expectGone(radio);
        } else {
            EXPECT_TRUE(radioEndsWith(radio, 0x85)) << "Setup ends with the scan's end and nothing after it";
            EXPECT_GE(expectInStep(radio, *simFault),
                      1 + 2 + 30);  // the start's status read, the sweep's, each step's
        }
    }
    EXPECT_FALSE(comm->isOpen()) << "the port is given back";
    EXPECT_EQ(descriptorsOn(radio.pty), 0) << "the port is given back";
    if (f.then == Then::KillAndQuit) {  // the user asked to end: the settings are written all the same
        EXPECT_EQ(ends, 1);
        EXPECT_EQ(iniNow(), kQuitIni);
        return;
    }
    if (f.probe != Probe::Gone) expectSetUpState();
    EXPECT_EQ(ends, 0);
    EXPECT_EQ(iniNow(), kHandWrittenIni);
    if (pulled) {  // the cable still out: the port cannot be had
        linkToNothing();
        if (f.probe != Probe::Gone) {
            click(*form, "startButton");
            ++shown;
            ASSERT_TRUE(waitFor([&] { return messages.shown.size() == shown && !sweep().running(); }));
            EXPECT_TRUE(messages.shown.last().startsWith(QStringLiteral("Cannot open COM1 (") + work.path()))
                << qPrintable(messages.shown.last());
            expectSetUpState();
        }
        chooseAndProbe(0);
        ASSERT_EQ(messages.shown.size(), ++shown);
        EXPECT_EQ(messages.shown.last(),
                  QStringLiteral("Cannot connect through COM1\rPort already in use or NOT avaible"));
        EXPECT_FALSE(child(*form, "startButton")->isEnabled());
    }
    plugIn(sound);
    ASSERT_TRUE(child(*form, "startButton")->isEnabled());
    QStringList labels;
    const long long before = sweep().stepsDrawn();
    EXPECT_TRUE(scanUntil([&] {
        if (sweep().stepsDrawn() < before + 30) return false;
        labels = QStringList{text(*form, "lowEdgeLabel"), text(*form, "centreLabel"), text(*form, "highEdgeLabel")};
        click(*form, "setupButton");
        return true;
    }));
    EXPECT_EQ(labels, QStringList({"14210000 Hz", "14250000 Hz", "14290000 Hz"}));
    expectSetUpState();
    EXPECT_GE(expectInStep(sound), 1 + 2 + 30);
    EXPECT_TRUE(radioEndsWith(sound, 0x85));
    EXPECT_EQ(descriptorsOn(sound.pty), 0);
    EXPECT_EQ(iniNow(), kHandWrittenIni);
    EXPECT_TRUE(quit(*form));
    EXPECT_EQ(ends, 1);
    EXPECT_EQ(iniNow(), kQuitIni);
    EXPECT_EQ(messages.shown.size(), shown);
}

INSTANTIATE_TEST_SUITE_P(Radio, Faults, ::testing::Combine(::testing::ValuesIn(kFaults), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<Fault, bool>>& p) {
                             return std::string(std::get<0>(p.param).name) + (std::get<1>(p.param) ? "Fast" : "");
                         });
