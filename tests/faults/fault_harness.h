#pragma once
// The whole program against a simulated radio: the real serial stack on the
// simulator's pseudo-terminal, the real window offscreen, messages recorded,
// the program's end counted. The stack notes what each read of each request
// returned, to hold against the answers in the simulator's log.

#include "app/form1.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
#include "support/observed_comm.h"
#include "support/sim_log.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>

namespace faults {

using qv7m::test::Reads;

// The program's serial stack, as makeSerialControl builds it, noting the reads.
class ObservedComm : public qv7m::test::ObservedComm {
public:
    ObservedComm() : qv7m::test::ObservedComm(std::make_unique<qv7m::SerialControl>()) {}
};

inline std::vector<simlog::Frame> logOf(const simtest::Sim& sim) { return simlog::parse(sim.log()); }

// Read 3 + i of every request took byte i of its own answer; from a radio
// that spoils every answer, a read took nothing or a byte of its own answer.
// Returns how many requests were compared.
inline int expectInStep(const std::vector<Reads>& requests, const std::vector<simlog::Frame>& log,
                        bool faulty = false) {
    std::vector<QByteArray> answers;
    for (const simlog::Frame& f : log)
        if (qv7m::test::isRequest(f.bytes)) answers.push_back(f.answer);
    // The radio may not have taken in the very last frame when it was looked at.
    EXPECT_GE(answers.size() + 1, requests.size()) << "the radio saw fewer requests than the program sent";
    const qv7m::test::InStep in = qv7m::test::compareReads(requests, answers, !faulty);
    EXPECT_TRUE(in.foreign.empty()) << "a read took a byte of another answer";
    if (!faulty) EXPECT_TRUE(in.shifted.empty() && in.short_.empty()) << "reads out of step with the radio's answers";
    return int(in.compared);
}

// Descriptors of this process open on `device` (a port not given back shows here).
inline int descriptorsOn(const std::string& device) {
    int count = 0;
    std::error_code ec;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd", ec))
        count += std::filesystem::read_symlink(fd.path(), ec) == device;
    return count;
}

// COM1, 80 kHz, 1000 Hz, "Line Graph" in a hand-written form the program
// never writes itself, so that any write shows; and what "Quit" writes for it.
inline const QByteArray kHandWrittenIni("0\r\n3\r\n3\r\n1\r\nDL1ABC\r\n");
inline const QByteArray kQuitIni(" 0 \r\n 3 \r\n 3 \r\n 1 \r\nDL1ABC\r\n");

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid() && QDir::setCurrent(work.path()));
        QFile f(work.filePath(QStringLiteral("qv-7m.ini")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f.write(kHandWrittenIni) == kHandWrittenIni.size());
    }
    void TearDown() override {
        for (QString m : messages.shown)  // what the user saw
            std::printf("  message: \"%s\"\n", qPrintable(m.replace(QLatin1Char('\r'), QStringLiteral("<CR>"))));
        form.reset();
        comm.reset();
        QCoreApplication::processEvents();  // the controls' deferred deletions
        QDir::setCurrent(QDir::tempPath());
    }

    // Points the working directory's COM1 at the radio (only while the port
    // is closed), or at a device that is not there, as an unplugged adapter
    // leaves it.
    void linkTo(const simtest::Sim& radio) { linkCom(radio.link); }
    void linkToNothing() { linkCom(work.filePath(QStringLiteral("unplugged")).toStdString()); }
    void linkCom(const std::string& target) {
        ASSERT_FALSE(comm->portOpen()) << "the link is changed only while the port is closed";
        const QString name = work.filePath(QStringLiteral("COM1"));
        QFile::remove(name);
        ASSERT_EQ(::symlink(target.c_str(), name.toLocal8Bit().constData()), 0);
        comm->radio = target;
    }
    int expectInStep(const simtest::Sim& radio, bool faulty = false) {
        return faults::expectInStep(comm->requests[radio.link], logOf(radio), faulty);
    }

    // Builds the window and runs the form's load, as the program does before
    // the window is first shown.
    void start() {
        form = std::make_unique<qv7m::Form1>(*comm, messages);
        form->endProgram = [this] { ++ends; };
        form->load();
    }
    // Presses "Start scan" and runs `tick` every 20 ms inside the scan until
    // it returns true (it presses Setup or Quit, or the scan has ended).
    // Returns false, after pressing Setup, when that took over `seconds`.
    bool scanUntil(const std::function<bool()>& tick, int seconds = 30) {
        QTimer timer;
        QElapsedTimer clock;
        clock.start();
        bool done = false, reached = true;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (done || (done = tick()) || clock.elapsed() <= seconds * 1000) return;
            done = true;
            reached = false;
            if (!form->ended() && form->sweep.running()) form->setup->click();
        });
        timer.start(20);
        EXPECT_TRUE(form->starten->isEnabled());
        form->starten->click();  // returns when the scan stops
        return reached;
    }
    // "Start scan", a number of full steps, then "Setup" at a step; returns
    // the frequency labels as they stood then.
    QStringList scanSteps(long long steps) {
        const long long from = form->sweep.fullSteps;
        QStringList labels;
        EXPECT_TRUE(scanUntil([&] {
            if (form->sweep.fullSteps - from < steps) return false;
            labels = QStringList{form->links->text(), form->mitte->text(), form->rechts->text()};
            form->setup->click();
            return true;
        })) << "the scan did not make " << steps << " steps";
        return labels;
    }
    // Chooses the port in the list, as a user's click does.
    void choosePort(int index) {
        form->comport->setCurrentIndex(index);
        emit form->comport->activated(index);
    }
    // The time a user takes to plug a cable or another radio in, at the least.
    static void userPause() { usleep(200 * 1000); }
    // The radio has taken in the program's frames up to one with this opcode
    // (it reads at line speed).
    static bool radioEndsWith(const simtest::Sim& radio, uint8_t opcode) {
        for (const double until = simtest::nowMs() + 3000; simtest::nowMs() < until; usleep(20 * 1000))
            if (const auto log = logOf(radio); !log.empty() && log.back().opcode() == opcode) return true;
        return false;
    }

    QByteArray iniNow() const {
        QFile f(work.filePath(QStringLiteral("qv-7m.ini")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(missing)");
    }
    // The window as "Setup" leaves it.
    void expectSetUpState() {
        EXPECT_FALSE(form->ended() || form->sweep.running() || comm->portOpen());
        const std::initializer_list<QWidget*> enabled{form->starten, form->style, form->dis, form->step, form->comport};
        for (QWidget* w : enabled)
            EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
        EXPECT_FALSE(form->setup->isEnabled() || form->stopscan->isEnabled() || form->stopscan->isChecked());
        for (QLabel* l : {form->links, form->mitte, form->rechts}) EXPECT_EQ(l->text(), QStringLiteral("Hz"));
        EXPECT_EQ(form->comport->count(), 4);
        EXPECT_EQ(form->sweep.shade, 220);
    }

    QTemporaryDir work;
    std::unique_ptr<ObservedComm> comm = std::make_unique<ObservedComm>();
    std::unique_ptr<qv7m::Form1> form;
    qv7m::RecordingPresenter messages;
    int ends = 0;
};

}  // namespace faults
