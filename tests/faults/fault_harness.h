// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The whole program against a simulated radio: the real serial stack on its
// pseudo-terminal, the real window offscreen, messages recorded, the program's
// end counted, and each read noted to hold against the simulator's log.

#include "radio/cat_codec.h"
#include "radio/serial_line.h"
#include "sim/sim_harness.h"
#include "support/observed_link.h"
#include "support/sim_log.h"
#include "support/window.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMenu>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QThread>

#include <filesystem>
#include <map>

namespace faults {

using namespace qv7m::test;
namespace fs = std::filesystem;

inline std::vector<simlog::Frame> logOf(const simtest::Sim& sim) { return simlog::parse(sim.log()); }

// The first `count` readings the radio gave, by frequency (10 Hz units), oldest first.
inline std::map<int32_t, std::vector<int>> readingsOf(const simtest::Sim& radio, long long count) {
    std::map<int32_t, std::vector<int>> by;
    for (const simlog::Frame& f : logOf(radio)) {
        if (f.opcode() != qv7m::cat::op::kSetVfoB || count-- <= 0) continue;
        const auto* b = reinterpret_cast<const uint8_t*>(f.bytes.constData());
        by[int32_t(*qv7m::cat::unitsFromBcd({b[0], b[1], b[2], b[3]}))].push_back(f.meter);
    }
    return by;
}

// COM1, 80 kHz, 1000 Hz, "Line Graph" in a hand-written form the program
// never writes itself, so that any write shows; and what "Quit" writes for it.
inline const QByteArray kHandWrittenIni("0\r\n3\r\n3\r\n1\r\nDL1ABC\r\n");
inline const QByteArray kQuitIni(" 0 \r\n 3 \r\n 3 \r\n 1 \r\nDL1ABC\r\n");

class Program : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(work.isValid());
        ASSERT_TRUE(QDir::setCurrent(work.path()));
        writeIni(kHandWrittenIni);
    }
    void writeIni(const QByteArray& bytes) {
        ASSERT_TRUE(writeFile(work.filePath(QStringLiteral("qv-7m.ini")), bytes));
    }
    void TearDown() override {
        for (const QString& m : messages.shown)
            std::printf("  message: \"%s\"\n", qPrintable(QString(m).replace('\r', "<CR>")));
        form.reset();
        comm.reset();
        QCoreApplication::processEvents();  // the controls' deferred deletions
        QDir::setCurrent(QDir::tempPath());
    }

    // Points the working directory's COM1 at the radio, or at a device that is
    // not there, as an unplugged adapter leaves it (only while the port is closed).
    void linkTo(const simtest::Sim& radio) { linkCom(radio.link); }
    void linkToNothing() { linkCom(work.filePath(QStringLiteral("unplugged")).toStdString()); }
    void linkCom(const std::string& target) {
        ASSERT_FALSE(comm->isOpen());
        QFile::remove(work.filePath(QStringLiteral("COM1")));
        ASSERT_TRUE(QFile::link(QString::fromStdString(target), work.filePath(QStringLiteral("COM1"))));
        comm->radio = target;
    }
    // Read 3 + i of every request took byte i of its own answer (from a faulty radio:
    // nothing, or a byte of its own answer). Returns how many requests were compared.
    int expectInStep(const simtest::Sim& radio, bool faulty = false) {
        std::vector<QByteArray> answers;
        for (const simlog::Frame& f : logOf(radio))
            if (isRequest(f.bytes)) answers.push_back(f.answer);
        const auto& requests = comm->requests[radio.link];
        EXPECT_GE(answers.size() + 1, requests.size()) << "the radio saw fewer requests than the program sent";
        const InStep in = compareReads(requests, answers, !faulty);
        EXPECT_TRUE(in.foreign.empty()) << "a read took a byte of another answer";
        if (!faulty) {
            EXPECT_TRUE(in.shifted.empty()) << "reads out of step with the radio's answers";
            EXPECT_TRUE(in.short_.empty()) << "reads out of step with the radio's answers";
        }
        return int(in.compared);
    }

    void start() {  // as the program does before the window is first shown
        form = std::make_unique<qv7m::MainWindow>(*comm, messages);
        form->endProgram = [this] { ++ends; };
        form->onProbed = [this] { ++probes; };
        form->load();
    }
    qv7m::ScanProgress& sweep() { return form->scan(); }
    // Chooses the item in the plot's menu.
    void chooseFromMenu(const QString& item) {
        emit child(*form, "plot")->customContextMenuRequested(QPoint(10, 10));
        QMenu* menu = form->findChildren<QMenu*>(QString(), Qt::FindDirectChildrenOnly).last();
        for (QAction* action : menu->actions()) {
            if (action->text() == item) action->trigger();
        }
        menu->close();
    }
    // The pointer pressed (left button) or moved on the plot, at `at` in its pixels.
    void mouseOnPlot(QEvent::Type type, QPointF at) {
        QWidget* plot = child(*form, "plot");
        const Qt::MouseButton button = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
        QMouseEvent event(type, at, plot->mapToGlobal(at), button, button, {});
        QCoreApplication::sendEvent(plot, &event);
    }
    bool scanUntil(const std::function<bool()>& tick, int seconds = 30) {
        return qv7m::test::scanUntil(*form, tick, seconds);
    }
    // Chooses a port as a user does, and waits for its probe.
    void chooseAndProbe(int index) {
        const int before = probes;
        choose(*form, "portList", index);
        EXPECT_TRUE(waitFor([&] { return probes > before; })) << "the probe did not end";
    }
    // The radio has taken in the program's frames up to one with this opcode.
    static bool radioEndsWith(const simtest::Sim& radio, uint8_t opcode) {
        for (const double until = simtest::nowMs() + 3000; simtest::nowMs() < until; usleep(20 * 1000))
            if (const auto log = logOf(radio); !log.empty() && log.back().opcode() == opcode) return true;
        return false;
    }
    QByteArray iniNow() const { return fileBytes(work.filePath(QStringLiteral("qv-7m.ini"))); }
    // Descriptors of this process open on `device` (a port not given back shows here).
    static int descriptorsOn(const std::string& device) {
        std::error_code ec;  // a descriptor closed while listed is simply not there
        int count = 0;
        for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
            count += fs::read_symlink(fd.path(), ec) == device;
        return count;
    }
    // The window as "Setup" leaves it.
    void expectSetUpState() {
        EXPECT_FALSE(form->ended());
        EXPECT_FALSE(sweep().running());
        EXPECT_FALSE(comm->isOpen());
        for (const char* on : {"startButton", "styleList", "widthList", "stepList", "portList"})
            EXPECT_TRUE(child(*form, on)->isEnabled()) << on;
        EXPECT_FALSE(child(*form, "setupButton")->isEnabled());
        EXPECT_FALSE(child(*form, "holdBox")->isEnabled());
        EXPECT_FALSE(child<QCheckBox>(*form, "holdBox")->isChecked());
        for (const char* l : {"lowEdgeLabel", "centreLabel", "highEdgeLabel"})
            EXPECT_EQ(text(*form, l), QStringLiteral("Hz"));
        EXPECT_EQ(sweep().shade(), 220);
    }

    QTemporaryDir work;
    std::unique_ptr<ObservedLink> comm = std::make_unique<ObservedLink>(qv7m::makeSerialLine());
    std::unique_ptr<qv7m::MainWindow> form;
    RecordingPresenter messages;
    int ends = 0;
    int probes = 0;
};

}  // namespace faults
