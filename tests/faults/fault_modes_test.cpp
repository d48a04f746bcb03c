// A radio that misbehaves on the line: silent, garbage answers, a byte
// dropped from every answer, a byte added to every answer. At start-up (the
// probe) and through a scan of a few dozen steps the program stays alive and
// scans on, every read takes exactly what the rules give from what the radio
// sent (so no bad answer shifts the ones after it), "Setup" still works, and
// once a sound radio is on the port again every reading is right.

#include "faults/fault_harness.h"

using namespace faults;

class FaultMode : public Program, public ::testing::WithParamInterface<const char*> {};

TEST_P(FaultMode, ProbeAndScanSurviveAndTheLinkKeepsInStep) {
    const std::string mode = GetParam();
    const bool silent = mode == "silent";
    simtest::Sim bad({"--fault", mode});
    simtest::Sim sound;

    // --- the probe at start-up, against the misbehaving radio
    linkTo(bad);
    QElapsedTimer probeTime;
    probeTime.start();
    start();
    std::printf("  probe, window and all: %lld ms\n", static_cast<long long>(probeTime.elapsed()));
    if (silent) {
        EXPECT_LT(probeTime.elapsed(), 1000) << "a silent radio is found out within a second";
    }
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
    const QStringList during = scanSteps(30);
    std::printf("  scan with the fault: labels %s, %lld steps\n", qPrintable(during.join(' ')), form->sweep.fullSteps);
    expectMessages(messagesAfterProbe);
    expectSetUpState();
    EXPECT_EQ(descriptorsOn(bad.pty), 0);
    EXPECT_TRUE(radioEndsWith(bad, 0x85)) << "Setup ends with command 4 and nothing after it";
    // Every read of the scan took what the rules give from the radio's own
    // answer to that request: the start's status read, each sweep's, each
    // step's meter read.
    EXPECT_GE(expectInStep(bad), 1 + 2 + 30);
    EXPECT_EQ(iniNow(), kHandWrittenIni);

    // --- the fault is over: a sound radio on the port, and every reading of
    // the next scan is the radio's own
    linkTo(sound);
    userPause();
    const size_t soundBefore = requestsTo(sound).size();
    EXPECT_EQ(scanSteps(30), QStringList({"14210000 Hz", "14250000 Hz", "14290000 Hz"}));
    expectMessages(messagesAfterProbe);
    expectSetUpState();
    EXPECT_TRUE(radioEndsWith(sound, 0x85));
    EXPECT_GE(size_t(expectInStep(sound)), soundBefore + 2 + 30);
    EXPECT_EQ(descriptorsOn(sound.pty), 0);

    // --- "Quit" writes the settings file, and only it
    EXPECT_EQ(iniNow(), kHandWrittenIni);
    form->beenden->click();
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_EQ(iniNow(), kQuitIni);
    expectMessages(messagesAfterProbe);
}

INSTANTIATE_TEST_SUITE_P(Radio, FaultMode, ::testing::Values("silent", "garbage", "drop", "extra"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });
