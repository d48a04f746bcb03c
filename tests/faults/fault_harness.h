#pragma once
// The whole program against a simulated radio: the real serial stack on the
// simulator's pseudo-terminal, the real window offscreen, messages recorded,
// the program's end counted. The stack notes what each read of each request
// returned, to hold against the answers in the simulator's log.

#include "app/form1.h"
#include "radio/alignedcomm.h"
#include "radio/serialcontrol.h"
#include "sim/sim_harness.h"
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

using Reads = std::vector<QByteArray>;

inline bool isRequest(const QByteArray& frame) {
    return qv7m::AlignedComm::answerLength(uint8_t(frame.at(4)), uint8_t(frame.at(3))) > 0;
}

// The program's serial stack (as makeSerialControl builds it), noting the
// reads of each request by the radio it went to.
class ObservedComm : public qv7m::AlignedComm {
public:
    ObservedComm() : AlignedComm(std::make_unique<qv7m::SerialControl>()) {}
    void Output(const QByteArray& bytes) override {
        AlignedComm::Output(bytes);  // a frame that failed to go out asked nothing
        for (char c : bytes) {
            if ((partial_ += c).size() < 5) continue;
            if (isRequest(partial_)) requests[radio].emplace_back();
            partial_.clear();
            last_ = requests[radio].empty() ? nullptr : &requests[radio].back();
        }
    }
    QByteArray Input() override {
        const QByteArray got = AlignedComm::Input();
        if (last_) last_->push_back(got);
        return got;
    }

    std::map<std::string, std::vector<Reads>> requests;
    std::string radio;

private:
    QByteArray partial_;
    Reads* last_ = nullptr;  // the request the next reads belong to
};

inline std::vector<simlog::Frame> logOf(const simtest::Sim& sim) { return simlog::parse(sim.log()); }

// Requests of a run (a few dozen) a loaded test machine may have handed a
// byte later than any serial adapter would; a link out of step gets nearly all
// wrong. The rules for late bytes are pinned down on a virtual clock.
constexpr int kWrongRequestsAllowed = 5;

// The link keeps in step when read 3 + i of every request returned byte i of
// its own answer, nothing outside it. Prints each request read otherwise;
// returns how many were compared.
inline int expectInStep(const std::vector<Reads>& requests, const std::vector<simlog::Frame>& log) {
    std::vector<QByteArray> answers;
    for (const simlog::Frame& f : log)
        if (isRequest(f.bytes)) answers.push_back(f.answer);
    // The radio may not have taken in the very last frame when it was looked at.
    EXPECT_GE(answers.size() + 1, requests.size()) << "the radio saw fewer requests than the program sent";
    const size_t n = std::min(requests.size(), answers.size());
    int wrong = 0;
    for (size_t i = 0; i < n; ++i) {
        QByteArray got, want;
        for (size_t k = 0; k < requests[i].size(); ++k) {
            const QByteArray w = k < 3 ? QByteArray() : answers[i].mid(int(k) - 3, 1);
            got += requests[i][k].isEmpty() ? QByteArray("--") : requests[i][k].toHex();
            want += w.isEmpty() ? QByteArray("--") : w.toHex();
        }
        if (got != want && ++wrong)
            std::printf("  request %zu (answer %s): reads %s, the rules give %s\n", i, answers[i].toHex().constData(),
                        got.constData(), want.constData());
    }
    EXPECT_LE(wrong, kWrongRequestsAllowed) << "reads out of step with the radio's answers";
    return int(n);
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
    int expectInStep(const simtest::Sim& radio) {
        return faults::expectInStep(comm->requests[radio.link], logOf(radio));
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
    // The time a user takes to plug a cable or another radio in: long enough
    // for the radio to have been switched off and on.
    static void userPause() { usleep(1500 * 1000); }
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
