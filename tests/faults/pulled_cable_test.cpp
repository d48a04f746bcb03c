// The cable pulled at every moment the program uses the line: during the
// start-up probe, the status read of the scan's start and of a sweep, a
// step, "Setup" and "Quit". The simulator hangs up after a given frame
// (--fault hangup=N), or is killed at the moment a button is pressed.
//
// Each time: one message naming the port and the reason, the program alive
// (or ended where "Quit" asked for it), the window as "Setup" leaves it, the
// settings file untouched (written, whole, only by "Quit"), the port given
// back, and choosing it again works once a radio is back.
//
// Frames the program sends at 80 kHz and 1000 Hz: the probe's meter request
// is frame 1 (then five follow-ups); the scan's start is frames 7 to 24 (83,
// then the status request 8 and its follow-ups); the first sweep's status
// request is frame 25 (to 41); step k tunes at 42 + 7 (k - 1) and asks for
// the meter one frame later.

#include "faults/fault_harness.h"

#include <QCoreApplication>

#include <csignal>
#include <unistd.h>

#include <cstdio>

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
        printMessages("choosing COM1 with the cable still out");
        ASSERT_EQ(messages.shown.size(), before + 1);
        EXPECT_EQ(messages.shown.last(), QStringLiteral("Cannot connect through COM1\rPort already in use or NOT avaible"));
        EXPECT_FALSE(form->starten->isEnabled());

        simtest::Sim back;
        linkTo(back);
        userPause();
        choosePort(0);
        printMessages("choosing COM1 with the radio back");
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
    printMessages("probe at start-up");
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

TEST_F(PulledCable, DuringTheStatusReadOfTheScansStart) {
    auto radio = hangingUpAfter(12);
    linkTo(*radio);
    start();
    ASSERT_TRUE(form->starten->isEnabled());
    scanUntilItFails();
    printMessages("status read at the start of the scan");
    expectGoneMessage(0, *radio);
    expectSetUpState();
    expectLeftClean(*radio);
    radioIsBack();
}

TEST_F(PulledCable, DuringTheStatusReadAtTheTopOfASweep) {
    auto radio = hangingUpAfter(30);
    linkTo(*radio);
    start();
    scanUntilItFails();
    printMessages("status read at the top of a sweep");
    expectGoneMessage(0, *radio);
    EXPECT_EQ(form->sweep.fullSteps, 0);
    expectSetUpState();
    expectLeftClean(*radio);
    radioIsBack();
}

TEST_F(PulledCable, DuringAStep) {
    auto radio = hangingUpAfter(42 + 7 * 10 + 1);  // step 11's meter request
    linkTo(*radio);
    start();
    scanUntilItFails();
    printMessages("step");
    expectGoneMessage(0, *radio);
    EXPECT_EQ(form->sweep.fullSteps, 10);
    expectSetUpState();
    expectLeftClean(*radio);

    // "Start scan" with the cable still out: the port cannot be opened.
    linkToNothing();
    const int before = messages.shown.size();
    form->starten->click();
    printMessages("Start scan with the cable still out");
    ASSERT_EQ(messages.shown.size(), before + 1);
    EXPECT_TRUE(messages.shown.last().startsWith(QStringLiteral("Cannot open COM1 (") + work.path()))
        << messages.shown.last().toStdString();
    expectSetUpState();
    radioIsBack();
}

TEST_F(PulledCable, DuringSetup) {
    auto radio = std::make_unique<simtest::Sim>();
    linkTo(*radio);
    start();
    ASSERT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps < 10) return false;
        radio->stop(SIGKILL);  // the cable goes as the user presses Setup
        form->setup->click();
        return true;
    }));
    printMessages("Setup");
    expectGoneMessage(0, *radio);
    expectSetUpState();
    expectLeftClean(*radio);
    // "Setup" works again once the window is back in its set-up state.
    radioIsBack();
}

TEST_F(PulledCable, DuringQuit) {
    auto radio = std::make_unique<simtest::Sim>();
    linkTo(*radio);
    start();
    ASSERT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps < 10) return false;
        radio->stop(SIGKILL);
        form->beenden->click();
        return true;
    }));
    printMessages("Quit");
    expectGoneMessage(0, *radio);
    // The user asked to end: the settings are written all the same, and the
    // program ends.
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_FALSE(comm->portOpen());
    EXPECT_EQ(descriptorsOn(radio->pty), 0);
    EXPECT_EQ(iniNow(), kQuitIni);
}
