// The whole program scanning the simulated radio: the real serial control on
// the simulator's pseudo-terminal, the real window on the offscreen platform.

#include "faults/fault_harness.h"

using namespace faults;

// At 10 kHz and 100 Hz (no settings file) in "Waterfall": the first sweep,
// held and let go on its way, the radio retuned, the next sweep and "Setup";
// then another scan and "Quit".
TEST_F(Program, SweepHoldRetuneSetupAndQuit) {
    QFile::remove(work.filePath(QStringLiteral("qv-7m.ini")));
    // The start and the first sweep's status read take 35 frames, each step 7:
    // frame 400 falls inside the first sweep.
    simtest::Sim sim({"--retune", "400f=7035000"});
    linkTo(sim);
    start();
    ASSERT_TRUE(messages.shown.isEmpty()) << qPrintable(messages.shown.value(0));
    form->style->setCurrentIndex(2);
    QStringList firstLabels;
    QString secondCentre;
    QImage plot;
    long long drawnSteps = 0;
    QElapsedTimer held;
    int phase = 0;
    ASSERT_TRUE(scanUntil([&] {
        drawnSteps = form->sweep.fullSteps;
        if (phase == 0 && drawnSteps >= 20) {
            firstLabels = QStringList{form->links->text(), form->mitte->text(), form->rechts->text()};
            form->stopscan->click();
            held.start();
            phase = 1;
        } else if (phase == 1 && held.elapsed() > 800) {
            form->stopscan->click();
            phase = 2;
        } else if (phase == 2 && drawnSteps >= 103) {
            secondCentre = form->mitte->text();
            plot = form->Picture1->surface().image();
            form->setup->click();  // inside the scan's yield
            return true;
        }
        return false;
    }, 60));
    EXPECT_TRUE(radioEndsWith(sim, 0x85)) << "Setup sends command 4 and the sweep nothing after it";
    expectSetUpState();
    EXPECT_EQ(form->info->text(), QString());

    std::vector<simlog::Frame> tuned;
    int maxReadsBetweenTunings = 0, reads = 0;
    for (const simlog::Frame& f : logOf(sim)) {
        if (f.opcode() == 0x8A) {
            tuned.push_back(f);
            maxReadsBetweenTunings = std::max(maxReadsBetweenTunings, reads);
            reads = 0;
        }
        reads += f.opcode() == 0xF7;
    }
    // The first sweep, with no gap or repeat across the hold; the next one
    // centred on the new frequency.
    ASSERT_GE(tuned.size(), size_t(drawnSteps));
    for (int i = 0; i < drawnSteps; ++i)
        EXPECT_EQ(tuned[i].vfob, i < 101 ? 14245000 + 100 * i : 7030000 + 100 * (i - 101)) << i;
    EXPECT_EQ(firstLabels, QStringList({"14245000 Hz", "14250000 Hz", "14255000 Hz"}));
    EXPECT_EQ(secondCentre, QStringLiteral("7035000 Hz"));
    EXPECT_GE(maxReadsBetweenTunings, 5) << "the meter is read about every 90 ms while held";
    // Each column's green is what the radio read at its latest step.
    for (int i = 0; i < 101; ++i) {
        const simlog::Frame& t = tuned[i + 101 < drawnSteps ? i + 101 : i];
        const int x = std::min(form->Picture1->surface().toPixel(80 * i), plot.width() - 1);
        EXPECT_EQ(qGreen(plot.pixel(x, plot.height() / 2)), t.meter) << "column " << i << ", " << t.vfob << " Hz";
    }

    const long long before = form->sweep.fullSteps;
    ASSERT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps < before + 5) return false;
        form->beenden->click();
        return true;
    }));
    EXPECT_EQ(ends, 1);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_TRUE(radioEndsWith(sim, 0x85)) << "Quit sends command 4 and nothing after it";
    EXPECT_EQ(iniNow(), QByteArray(" 0 \r\n 0 \r\n 0 \r\n 2 \r\nN0CALL\r\n"));
    EXPECT_TRUE(messages.shown.isEmpty());
}
