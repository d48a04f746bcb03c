// The whole program against the simulated radio: the real serial control on
// the simulator's pseudo-terminal, the real window on the offscreen platform.

#include "app/form1.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
#include "support/sim_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace qv7m;

namespace {

using LogLine = simlog::Frame;

std::vector<LogLine> frames(const simtest::Sim& sim) { return simlog::parse(sim.log()); }

int opcode(const LogLine& l) { return l.opcode(); }

// The simulator takes the program's bytes in at line speed: what was written
// last reaches its log up to a few hundred ms later.
void settle() { usleep(500 * 1000); }

std::vector<long> tunedVfoB(const simtest::Sim& sim) {
    std::vector<long> out;
    for (const LogLine& l : frames(sim))
        if (opcode(l) == 0x8A) out.push_back(l.vfob / 10);
    return out;
}

// A form on the real serial control, in a working directory whose COM1 is the
// simulator's port.
class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(QDir::setCurrent(work.path()));
    }
    void TearDown() override {
        form.reset();
        comm.reset();
        QDir::setCurrent(QDir::tempPath());
    }
    void linkCom(int n, const std::string& target) {
        const QString name = work.filePath(QStringLiteral("COM%1").arg(n));
        QFile::remove(name);
        ASSERT_EQ(::symlink(target.c_str(), name.toLocal8Bit().constData()), 0);
    }
    void start() {
        comm = makeSerialControl();
        form = std::make_unique<Form1>(*comm, messages);
        form->endProgram = [this] { ++ends; };
        form->load();
    }
    // Presses "Start scan" and runs `tick` every 20 ms inside the scan until
    // it returns true; then the scan must end (the tick presses Setup or Quit).
    void scanUntil(const std::function<bool()>& tick, int seconds = 90) {
        QTimer timer;
        QElapsedTimer clock;
        clock.start();
        bool done = false;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (done) return;
            if (tick() || clock.elapsed() > seconds * 1000) {
                done = true;
                if (clock.elapsed() > seconds * 1000) ADD_FAILURE() << "scan did not reach its goal in time";
                if (!form->ended() && form->sweep.running()) form->setup->click();
            }
        });
        timer.start(20);
        ASSERT_TRUE(form->starten->isEnabled());
        form->starten->click();  // returns when the scan stops
        timer.stop();
    }

    QTemporaryDir work;
    std::unique_ptr<MSComm> comm;
    std::unique_ptr<Form1> form;
    RecordingPresenter messages;
    int ends = 0;
};

}  // namespace

TEST_F(Program, ProbeOfASilentRadioSaysSoWithinASecond) {
    simtest::Sim sim({"--fault", "silent"});
    linkCom(1, sim.link);
    QElapsedTimer t;
    t.start();
    start();
    const qint64 ms = t.elapsed();
    std::printf("probe of a silent radio, window and all: %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 1000);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("No response from Yaesu FT-1000MP on COM1"));
    EXPECT_FALSE(form->starten->isEnabled());
    EXPECT_FALSE(comm->portOpen());
    EXPECT_EQ(form->link.meterValue, -1);
}

TEST_F(Program, MissingAndHeldPortsCannotConnect) {
    linkCom(3, "/dev/qv7m-no-such-port");
    QFile ini(work.filePath(QStringLiteral("qv-7m.ini")));
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(" 2 \r\n 0 \r\n 0 \r\n 0 \r\nN0CALL\r\n");
    ini.close();
    start();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QStringLiteral("Cannot connect through COM3\rPort already in use or NOT avaible"));
    EXPECT_FALSE(form->starten->isEnabled());

    // COM1 is held by another program (here a second serial control).
    simtest::Sim sim;
    linkCom(1, sim.link);
    auto other = makeSerialControl();
    other->setSettings(QStringLiteral("4800,n,8,2"));
    other->setCommPort(1);
    other->setPortOpen(true);
    form->comport->setCurrentIndex(0);
    form->guarded([&] { form->comport_Click(); });
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1], QStringLiteral("Cannot connect through COM1\rPort already in use or NOT avaible"));
    EXPECT_FALSE(form->starten->isEnabled());
    other->setPortOpen(false);
    // Free again: the radio answers.
    form->guarded([&] { form->comport_Click(); });
    EXPECT_EQ(messages.shown.size(), 2);
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_FALSE(comm->portOpen());
    bool sawMeter = false;
    for (const LogLine& l : frames(sim)) sawMeter |= opcode(l) == 0xF7;
    EXPECT_TRUE(sawMeter);
}

TEST_F(Program, FirstSweepThenSetup) {
    simtest::Sim sim;
    linkCom(1, sim.link);
    start();
    ASSERT_TRUE(messages.shown.isEmpty()) << messages.shown.value(0).toStdString();
    QString labels[3];
    scanUntil([&] {
        // Press "Setup" at a step of the second sweep (not inside its status read).
        if (form->sweep.fullSteps < 103) return false;
        labels[0] = form->links->text();
        labels[1] = form->mitte->text();
        labels[2] = form->rechts->text();
        form->setup->click();  // inside the scan's yield
        return true;
    });
    settle();
    const auto tuned = tunedVfoB(sim);
    ASSERT_GE(tuned.size(), 101u);
    for (int i = 0; i < 101; ++i) EXPECT_EQ(tuned[i], 1424500 + 10 * i) << i;
    EXPECT_EQ(labels[0], QStringLiteral("14245000 Hz")) << "the second sweep, same centre";
    EXPECT_EQ(labels[1], QStringLiteral("14250000 Hz"));
    EXPECT_EQ(labels[2], QStringLiteral("14255000 Hz"));

    // "Setup" sent command 4 and closed the link; the sweep sent nothing after it.
    const auto log = frames(sim);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().bytes, QByteArray("\x00\x00\x00\x00\x85", 5));
    EXPECT_FALSE(comm->portOpen());
    // The window as "Setup" leaves it.
    EXPECT_TRUE(form->starten->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{form->style, form->dis, form->step, form->comport})
        EXPECT_TRUE(w->isEnabled());
    EXPECT_FALSE(form->stopscan->isEnabled());
    EXPECT_FALSE(form->setup->isEnabled());
    EXPECT_EQ(form->links->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->info->text(), QString());
    EXPECT_EQ(form->sweep.shade, 220);
    EXPECT_EQ(form->comport->count(), 4);
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(Program, NextSweepFollowsTheRetunedRadio) {
    // The start and the first sweep's status read take 35 frames, each step 7:
    // retuning at frame 400 falls inside the first sweep.
    simtest::Sim sim({"--retune", "400f=7035000"});
    linkCom(1, sim.link);
    start();
    QString centre;
    scanUntil([&] {
        const auto tuned = tunedVfoB(sim);
        if (tuned.size() < 103) return false;
        centre = form->mitte->text();
        form->setup->click();
        return true;
    });
    settle();
    const auto tuned = tunedVfoB(sim);
    ASSERT_GE(tuned.size(), 102u);
    EXPECT_EQ(tuned[100], 1425500);
    EXPECT_EQ(tuned[101], 703000) << "the second sweep is centred on the new frequency";
    EXPECT_EQ(centre, QStringLiteral("7035000 Hz"));
}

TEST_F(Program, HoldContinuesWithoutGapOrRepeat) {
    simtest::Sim sim;
    linkCom(1, sim.link);
    start();
    QElapsedTimer held;
    int phase = 0;
    scanUntil([&] {
        const size_t n = tunedVfoB(sim).size();
        if (phase == 0 && n >= 20) {
            form->stopscan->click();
            held.start();
            phase = 1;
        } else if (phase == 1 && held.elapsed() > 800) {
            form->stopscan->click();
            phase = 2;
        } else if (phase == 2 && n >= 60) {
            form->setup->click();
            return true;
        }
        return false;
    });
    settle();
    const auto log = frames(sim);
    std::vector<long> tuned;
    int maxReadsBetweenTunings = 0, reads = 0;
    for (const LogLine& l : log) {
        if (opcode(l) == 0x8A) {
            tuned.push_back(l.vfob / 10);
            maxReadsBetweenTunings = std::max(maxReadsBetweenTunings, reads);
            reads = 0;
        } else if (opcode(l) == 0xF7) {
            ++reads;
        }
    }
    ASSERT_GE(tuned.size(), 60u);
    for (size_t i = 1; i < tuned.size(); ++i) EXPECT_EQ(tuned[i], tuned[i - 1] + 10) << i;
    // While held, the meter kept being read at the last frequency.
    EXPECT_GE(maxReadsBetweenTunings, 5) << "about one meter read every 90 ms while held";
    EXPECT_FALSE(form->stopscan->isChecked());
}

TEST_F(Program, QuitDuringASweepSendsCommand4ClosesAndWrites) {
    simtest::Sim sim;
    linkCom(1, sim.link);
    start();
    scanUntil([&] {
        if (tunedVfoB(sim).size() < 15) return false;
        form->beenden->click();
        return true;
    });
    EXPECT_EQ(ends, 1);
    EXPECT_TRUE(form->ended());
    EXPECT_FALSE(comm->portOpen());
    QCoreApplication::processEvents();
    settle();
    const auto log = frames(sim);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().bytes, QByteArray("\x00\x00\x00\x00\x85", 5)) << "nothing after command 4";
    QFile ini(work.filePath(QStringLiteral("qv-7m.ini")));
    ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
    EXPECT_EQ(ini.readAll(), QByteArray(" 0 \r\n 0 \r\n 0 \r\n 0 \r\nN0CALL\r\n"));
}

TEST_F(Program, ClosingTheWindowDuringASweepEndsWithoutWritingOrSending) {
    simtest::Sim sim;
    linkCom(1, sim.link);
    start();
    form->show();
    size_t sent = 0;
    scanUntil([&] {
        if (tunedVfoB(sim).size() < 10) return false;
        sent = frames(sim).size();
        form->close();
        return true;
    });
    EXPECT_EQ(ends, 1);
    settle();
    // At most the frames already on their way when the window closed.
    EXPECT_LE(frames(sim).size(), sent + 7);
    for (size_t i = sent; i < frames(sim).size(); ++i) EXPECT_NE(opcode(frames(sim)[i]), 0x85);
    EXPECT_FALSE(QFile::exists(work.filePath(QStringLiteral("qv-7m.ini"))));
}

TEST_F(Program, PulledCableEndsTheScanAndThePortWorksAgainOnceBack) {
    auto sim = std::make_unique<simtest::Sim>(std::vector<std::string>{"--fault", "hangup=120"});
    linkCom(1, sim->link);
    start();
    ASSERT_TRUE(form->starten->isEnabled());
    QElapsedTimer t;
    t.start();
    scanUntil([&] { return !form->sweep.running() || t.elapsed() > 20000; });
    EXPECT_FALSE(form->sweep.running());
    ASSERT_GE(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown.last().contains(QStringLiteral("COM1"))) << messages.shown.last().toStdString();
    EXPECT_FALSE(comm->portOpen());
    EXPECT_FALSE(form->ended());
    // As "Setup" leaves the window.
    EXPECT_TRUE(form->starten->isEnabled());
    EXPECT_TRUE(form->comport->isEnabled());
    EXPECT_FALSE(form->setup->isEnabled());
    EXPECT_FALSE(form->stopscan->isEnabled());

    // The cable is back: choosing the port again works.
    sim.reset();
    simtest::Sim again;
    linkCom(1, again.link);
    const auto before = messages.shown.size();
    form->guarded([&] { form->comport_Click(); });
    EXPECT_EQ(messages.shown.size(), before);
    EXPECT_TRUE(form->starten->isEnabled());
}
