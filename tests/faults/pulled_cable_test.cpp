// The cable pulled at every moment the program uses the line: the simulator
// hangs up after frame N, or is killed as a button is pressed. Each time: one
// message naming the port and the reason, the program alive (or ended where
// "Quit" asked for it), the window as "Setup" leaves it, the settings file
// written only by "Quit", the port given back, and choosing it again works
// once a radio is back.
//
// Frames at 80 kHz and 1000 Hz: the probe 1-6, the scan's start 7-24 (83,
// then the status request 8), the first sweep's status request 25-41; step k
// tunes at 42 + 7 (k - 1) and asks for the meter one frame later.

#include "faults/fault_harness.h"

#include <csignal>

using namespace faults;

namespace {

class PulledCable : public Program {
protected:
    // A radio that hangs up after frame n.
    static std::unique_ptr<simtest::Sim> hangingUpAfter(int n) {
        return std::make_unique<simtest::Sim>(std::vector<std::string>{"--fault", "hangup=" + std::to_string(n)});
    }

    // The one message of this failure names the port, its device and why.
    void expectGoneMessage(int before, const simtest::Sim& radio) {
        ASSERT_EQ(messages.shown.size(), before + 1) << "one message for the failure";
        const QString m = messages.shown.last();
        const QString port = QStringLiteral("COM1 (%1): the port has gone away (").arg(QString::fromStdString(radio.pty));
        EXPECT_TRUE(m.startsWith(port)) << m.toStdString();
        EXPECT_TRUE(m.endsWith(QLatin1Char(')')) && m.size() > port.size() + 1) << m.toStdString();
    }

    // Nothing of the dead line is held, nothing was written.
    void expectLeftClean(const simtest::Sim& radio) {
        EXPECT_FALSE(comm->portOpen());
        EXPECT_EQ(descriptorsOn(radio.pty), 0) << "the port is given back";
        EXPECT_EQ(ends, 0);
        EXPECT_FALSE(form->ended());
        EXPECT_EQ(iniNow(), kHandWrittenIni);
    }

    // The cable is back, on a radio that works: choosing the port again
    // finds it, and a short scan reads it right.
    void radioIsBack() {
        // Before it is back, the port cannot be had.
        linkToNothing();
        const int before = messages.shown.size();
        choosePort(0);
        ASSERT_EQ(messages.shown.size(), before + 1);
        EXPECT_EQ(messages.shown.last(), QStringLiteral("Cannot connect through COM1\rPort already in use or NOT avaible"));
        EXPECT_FALSE(form->starten->isEnabled());

        simtest::Sim back;
        linkTo(back);
        userPause();
        choosePort(0);
        EXPECT_EQ(messages.shown.size(), before + 1) << "no message: the radio answered";
        EXPECT_TRUE(form->starten->isEnabled());
        EXPECT_FALSE(comm->portOpen());
        scanSteps(5);
        EXPECT_EQ(messages.shown.size(), before + 1);
        expectSetUpState();
        EXPECT_GE(expectInStep(back), 1 + 2 + 5);  // the probe, two status reads, the steps
        EXPECT_EQ(descriptorsOn(back.pty), 0);
        EXPECT_EQ(iniNow(), kHandWrittenIni);
    }

    // A scan that the pulled cable ends by itself.
    void scanUntilItFails() {
        EXPECT_TRUE(scanUntil([&] { return !form->sweep.running(); }, 20)) << "the scan did not end";
        QCoreApplication::processEvents();
    }
};

}  // namespace

TEST_F(PulledCable, DuringTheStartUpProbe) {
    auto radio = hangingUpAfter(1);
    linkTo(*radio);
    start();
    expectGoneMessage(0, *radio);
    EXPECT_FALSE(form->starten->isEnabled()) << "the radio never answered";
    // Start-up went on: every list filled and selected, the window set up.
    EXPECT_EQ(form->comport->currentText(), QStringLiteral("COM1"));
    EXPECT_EQ(form->dis->currentText(), QStringLiteral("80"));
    EXPECT_EQ(form->step->currentText(), QStringLiteral("1000"));
    EXPECT_EQ(form->style->currentText(), QStringLiteral("Line Graph"));
    EXPECT_EQ(form->windowTitle(), QStringLiteral("Yaesu FT-1000MP Bandscope QV-7M (DL1ABC)"));
    EXPECT_FALSE(form->setup->isEnabled());
    expectLeftClean(*radio);
    radioIsBack();
}

// The cable goes during the scan's own reads; then "Start scan" with the
// cable still out cannot open the port.
struct InScan {
    const char* when;
    int lastFrame;
    long long stepsDone;
};
class PulledCableInScan : public PulledCable, public ::testing::WithParamInterface<InScan> {};

TEST_P(PulledCableInScan, EndsTheScan) {
    auto radio = hangingUpAfter(GetParam().lastFrame);
    linkTo(*radio);
    start();
    ASSERT_TRUE(form->starten->isEnabled());
    scanUntilItFails();
    expectGoneMessage(0, *radio);
    EXPECT_EQ(form->sweep.fullSteps, GetParam().stepsDone);
    expectSetUpState();
    expectLeftClean(*radio);

    linkToNothing();
    form->starten->click();
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(messages.shown.last().startsWith(QStringLiteral("Cannot open COM1 (") + work.path()))
        << messages.shown.last().toStdString();
    expectSetUpState();
    radioIsBack();
}

INSTANTIATE_TEST_SUITE_P(During, PulledCableInScan,
                         ::testing::Values(InScan{"the status read of the scan's start", 12, 0},
                                           InScan{"the status read at the top of a sweep", 30, 0},
                                           InScan{"step 11's meter request", 42 + 7 * 10 + 1, 10}));

// The cable goes as the user presses "Setup" or "Quit" during a scan.
TEST_F(PulledCable, DuringSetupAndDuringQuit) {
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "Quit" : "Setup");
        simtest::Sim radio;
        linkTo(radio);
        start();
        const int before = messages.shown.size();
        ASSERT_TRUE(scanUntil([&] {
            if (form->sweep.fullSteps < 10) return false;
            radio.stop(SIGKILL);
            (quit ? form->beenden : form->setup)->click();
            return true;
        }));
        expectGoneMessage(before, radio);
        if (quit) {
            // The user asked to end: the settings are written all the same.
            EXPECT_EQ(ends, 1);
            EXPECT_TRUE(form->ended());
            EXPECT_FALSE(comm->portOpen());
            EXPECT_EQ(descriptorsOn(radio.pty), 0);
            EXPECT_EQ(iniNow(), kQuitIni);
        } else {
            expectSetUpState();
            expectLeftClean(radio);
            radioIsBack();  // "Setup" works again once the window is back in its set-up state
        }
    }
}
