// The whole program scanning the simulated radio: the real serial control on
// the simulator's pseudo-terminal, the real window on the offscreen platform.

#include "faults/fault_harness.h"

using namespace faults;

// At 10 kHz and 100 Hz (no settings file): the first sweep, held and let go
// on its way, then the radio retuned, the next sweep, and "Setup".
TEST_F(Program, SweepsHoldFollowTheRadioAndSetupEndsTheScan) {
    QFile::remove(work.filePath(QStringLiteral("qv-7m.ini")));
    // The start and the first sweep's status read take 35 frames, each step 7:
    // frame 400 falls inside the first sweep.
    simtest::Sim sim({"--retune", "400f=7035000"});
    linkTo(sim);
    start();
    ASSERT_TRUE(messages.shown.isEmpty()) << qPrintable(messages.shown.value(0));
    QStringList firstLabels;
    QString secondCentre;
    QElapsedTimer held;
    int phase = 0;
    ASSERT_TRUE(scanUntil([&] {
        const long long steps = form->sweep.fullSteps;
        if (phase == 0 && steps >= 20) {
            firstLabels = QStringList{form->links->text(), form->mitte->text(), form->rechts->text()};
            form->stopscan->click();
            held.start();
            phase = 1;
        } else if (phase == 1 && held.elapsed() > 800) {
            form->stopscan->click();
            phase = 2;
        } else if (phase == 2 && steps >= 103) {
            secondCentre = form->mitte->text();
            form->setup->click();  // inside the scan's yield
            return true;
        }
        return false;
    }, 60));
    EXPECT_TRUE(radioEndsWith(sim, 0x85)) << "Setup sends command 4 and the sweep nothing after it";

    const auto log = logOf(sim);
    std::vector<long> tuned;
    int maxReadsBetweenTunings = 0, reads = 0;
    for (const simlog::Frame& f : log) {
        if (f.opcode() == 0x8A) {
            tuned.push_back(f.vfob / 10);
            maxReadsBetweenTunings = std::max(maxReadsBetweenTunings, reads);
            reads = 0;
        }
        reads += f.opcode() == 0xF7;
    }
    // The first sweep, with no gap or repeat across the hold.
    ASSERT_GE(tuned.size(), 103u);
    for (int i = 0; i < 101; ++i) EXPECT_EQ(tuned[i], 1424500 + 10 * i) << i;
    EXPECT_EQ(firstLabels, QStringList({"14245000 Hz", "14250000 Hz", "14255000 Hz"}));
    EXPECT_GE(maxReadsBetweenTunings, 5) << "the meter is read about every 90 ms while held";
    // The next sweep is centred on the new frequency.
    EXPECT_EQ(tuned[101], 703000);
    EXPECT_EQ(tuned[102], 703010);
    EXPECT_EQ(secondCentre, QStringLiteral("7035000 Hz"));

    expectSetUpState();
    EXPECT_EQ(form->info->text(), QString());
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(Program, QuitDuringASweepSendsCommand4ClosesAndWrites) {
    simtest::Sim sim;
    linkTo(sim);
    start();
    ASSERT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps < 10) return false;
        form->beenden->click();
        return true;
    }));
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_FALSE(comm->portOpen());
    EXPECT_TRUE(radioEndsWith(sim, 0x85)) << "nothing after command 4";
    EXPECT_EQ(iniNow(), kQuitIni);
}

TEST_F(Program, ClosingTheWindowDuringASweepEndsWithoutWritingOrSending) {
    simtest::Sim sim;
    linkTo(sim);
    start();
    form->show();
    size_t sent = 0;
    ASSERT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps < 10) return false;
        sent = logOf(sim).size();
        form->close();
        return true;
    }));
    EXPECT_EQ(ends, 1);
    usleep(500 * 1000);  // what was written last reaches the radio's log at line speed
    const auto log = logOf(sim);
    EXPECT_LE(log.size(), sent + 7) << "at most the frames already on their way";
    for (size_t i = sent; i < log.size(); ++i) EXPECT_NE(log[i].opcode(), 0x85);
    EXPECT_EQ(iniNow(), kHandWrittenIni);
}
