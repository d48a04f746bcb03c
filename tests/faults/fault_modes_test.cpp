// A radio that misbehaves on the line: silent, garbage answers, a byte
// dropped from every answer, a byte added to every answer. At start-up (the
// probe) and through a scan of a few dozen steps the program stays alive and
// scans on, every read takes exactly what the rules give from what the radio
// sent (so no bad answer shifts the ones after it), "Setup" still works, and
// once a sound radio is on the port again every reading is right.

#include "faults/fault_harness.h"

#include <QElapsedTimer>

#include <unistd.h>

#include <cstdio>

using namespace faults;

namespace {

// The radio has taken in the program's last frames (it reads at line speed).
bool radioHasSeen(const simtest::Sim& radio, uint8_t lastOpcode) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 3000) {
        const auto log = loggedFrames(radio);
        if (!log.empty() && log.back().opcode() == lastOpcode) return true;
        usleep(20 * 1000);
    }
    return false;
}

struct Labels {
    QString links, mitte, rechts;
};

class FaultMode : public Program, public ::testing::WithParamInterface<const char*> {
protected:
    // A scan of `steps` full steps ended by "Setup"; returns the frequency
    // labels as they stood when it was pressed.
    Labels scanThenSetup(long long steps) {
        Labels seen;
        const long long from = form->sweep.fullSteps;
        EXPECT_TRUE(scanUntil([&] {
            if (form->sweep.fullSteps - from < steps) return false;
            seen = {form->links->text(), form->mitte->text(), form->rechts->text()};
            form->setup->click();
            return true;
        })) << "the scan did not make " << steps << " steps";
        return seen;
    }
};

}  // namespace

TEST_P(FaultMode, ProbeAndScanSurviveAndTheLinkKeepsInStep) {
    const std::string mode = GetParam();
    const bool silent = mode == "silent";
    simtest::Sim bad({"--fault", mode});
    simtest::Sim sound;
    std::printf("fault mode %s\n", mode.c_str());

    // --- the probe at start-up, against the misbehaving radio
    linkTo(bad);
    start();
    printMessages("probe");
    ASSERT_FALSE(form->ended());
    EXPECT_FALSE(comm->portOpen());
    EXPECT_EQ(descriptorsOn(bad.pty), 0);
    ASSERT_EQ(requestsTo(bad).size(), 1u);
    const Request& probe = requestsTo(bad)[0];
    ASSERT_EQ(probe.reads.size(), 5u);
    EXPECT_EQ(expectInStep(bad), 1);
    if (silent) {
        ASSERT_EQ(messages.shown.size(), 1);
        EXPECT_EQ(messages.shown[0], QStringLiteral("No response from Yaesu FT-1000MP on COM1"));
        EXPECT_FALSE(form->starten->isEnabled());
        EXPECT_EQ(form->link.meterValue, -1);
        // The radio falls silent after a probe it answered.
        linkTo(sound);
        userPause();
        choosePort(0);
        ASSERT_TRUE(form->starten->isEnabled());
        linkTo(bad);
    } else {
        // Something came back: the radio is there, whatever it said.
        expectMessages(0);
        EXPECT_TRUE(form->starten->isEnabled());
        EXPECT_EQ(form->link.meterValue, meterFromReads(probe, -1));
    }
    const int messagesAfterProbe = messages.shown.size();

    // --- a scan of a few dozen steps against it, then "Setup"
    const Labels during = scanThenSetup(30);
    std::printf("  scan with the fault: labels \"%s\" \"%s\" \"%s\", %lld steps\n", qPrintable(during.links),
                qPrintable(during.mitte), qPrintable(during.rechts), form->sweep.fullSteps);
    printMessages("scan");
    expectMessages(messagesAfterProbe);
    expectSetUpState();
    EXPECT_EQ(descriptorsOn(bad.pty), 0);
    EXPECT_TRUE(radioHasSeen(bad, 0x85)) << "Setup ends with command 4 and nothing after it";
    // Every read of the scan took what the rules give from the radio's own
    // answer to that request: the start's status read, each sweep's, each
    // step's meter read.
    const int compared = expectInStep(bad);
    EXPECT_GE(compared, 1 + 2 + 30);
    // Each full step tuned VFO-B once and read the meter once.
    int tunings = 0;
    for (const LoggedFrame& f : loggedFrames(bad)) tunings += f.opcode() == 0x8A;
    EXPECT_GE(tunings, 30);
    EXPECT_EQ(QByteArray(iniNow()), kHandWrittenIni);

    // --- the fault is over: a sound radio on the port, the next scan reads right
    linkTo(sound);
    userPause();
    const size_t soundBefore = requestsTo(sound).size();
    const Labels after = scanThenSetup(30);
    printMessages("scan with a sound radio");
    expectMessages(messagesAfterProbe);
    expectSetUpState();
    EXPECT_EQ(after.links, QStringLiteral("14210000 Hz"));
    EXPECT_EQ(after.mitte, QStringLiteral("14250000 Hz"));
    EXPECT_EQ(after.rechts, QStringLiteral("14290000 Hz"));
    EXPECT_TRUE(radioHasSeen(sound, 0x85));
    expectInStep(sound);
    // The truth: each step's meter reading is the radio's reading at the
    // frequency that step tuned.
    const auto log = loggedFrames(sound);
    const auto& asked = requestsTo(sound);
    int meterReads = 0, right = 0;
    int lastTunedMeter = -1;
    size_t request = 0;
    for (const LoggedFrame& f : log) {
        if (f.opcode() == 0x8A) lastTunedMeter = f.meter;
        if (!f.isRequest()) continue;
        if (request >= asked.size()) break;
        const Request& r = asked[request++];
        if (request <= soundBefore || f.opcode() != 0xF7 || lastTunedMeter < 0) continue;
        ++meterReads;
        right += meterFromReads(r, -2) == lastTunedMeter;
    }
    EXPECT_GE(meterReads, 30);
    EXPECT_GE(right, meterReads - kWrongRequestsAllowed)
        << "every step reads the radio's meter at the frequency it tuned";
    EXPECT_EQ(descriptorsOn(sound.pty), 0);

    // --- "Quit" writes the settings file, and only it
    EXPECT_EQ(QByteArray(iniNow()), kHandWrittenIni);
    form->beenden->click();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_EQ(QByteArray(iniNow()), kQuitIni);
    expectMessages(messagesAfterProbe);
}

INSTANTIATE_TEST_SUITE_P(Radio, FaultMode, ::testing::Values("silent", "garbage", "drop", "extra"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
