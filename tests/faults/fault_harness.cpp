#include "faults/fault_harness.h"
#include "support/sim_log.h"

#include "radio/alignedcomm.h"
#include "radio/serialcontrol.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

#include <dirent.h>
#include <unistd.h>

#include <cstdio>

namespace faults {

using qv7m::AlignedComm;

const QByteArray kHandWrittenIni("0\r\n3\r\n3\r\n1\r\nDL1ABC\r\n");
const QByteArray kQuitIni(" 0 \r\n 3 \r\n 3 \r\n 1 \r\nDL1ABC\r\n");

// ---------------------------------------------------------------- observed control

ObservedComm::ObservedComm(std::unique_ptr<qv7m::MSComm> inner) : inner_(std::move(inner)) {
    inner_->onComm = [this] {
        if (onComm) onComm();
    };
}

void ObservedComm::Output(const QByteArray& bytes) {
    inner_->Output(bytes);  // a frame that failed to go out asked nothing
    for (char c : bytes) {
        partial_.append(c);
        if (partial_.size() < 5) continue;
        const uint8_t p4 = uint8_t(partial_.at(3)), opcode = uint8_t(partial_.at(4));
        partial_.clear();
        if (AlignedComm::answerLength(opcode, p4) > 0) requests[radio].push_back(Request{opcode, p4, {}});
        last_ = &requests[radio].back();
    }
}

QByteArray ObservedComm::Input() {
    const QByteArray got = inner_->Input();
    if (last_) last_->reads.push_back(got);
    return got;
}

// ---------------------------------------------------------------- the radio's log

bool LoggedFrame::isRequest() const { return AlignedComm::answerLength(uint8_t(opcode()), uint8_t(bytes.at(3))) > 0; }

using simlog::field;

std::vector<LoggedFrame> loggedFrames(const simtest::Sim& sim) {
    std::vector<LoggedFrame> out;
    for (const std::string& s : sim.log()) {
        const QString line = QString::fromStdString(s);
        const QString frame = field(line, QStringLiteral("frame"));
        if (frame.size() != 10) continue;
        LoggedFrame f;
        f.bytes = QByteArray::fromHex(frame.toLatin1());
        const QString answer = field(line, QStringLiteral("answer"));
        if (answer != QLatin1String("-")) f.answer = QByteArray::fromHex(answer.toLatin1());
        f.vfob = field(line, QStringLiteral("vfob")).toLong();
        const QString m = field(line, QStringLiteral("meter"));
        if (!m.isEmpty()) f.meter = m.toInt();
        out.push_back(f);
    }
    return out;
}

QByteArray expectedRead(const QByteArray& answer, int read) {
    const int byte = read - 3;
    if (byte < 1 || byte > answer.size()) return {};
    return answer.mid(byte - 1, 1);
}

int expectInStep(const std::vector<Request>& requests, const std::vector<LoggedFrame>& log) {
    std::vector<const LoggedFrame*> asked;
    for (const LoggedFrame& f : log)
        if (f.isRequest()) asked.push_back(&f);
    // The radio may not have taken in the very last frames when it was looked at.
    const size_t n = std::min(requests.size(), asked.size());
    EXPECT_GE(asked.size() + 1, requests.size()) << "the radio saw fewer requests than the program sent";
    int wrongRequests = 0;
    for (size_t i = 0; i < n; ++i) {
        const Request& r = requests[i];
        const LoggedFrame& f = *asked[i];
        EXPECT_EQ(r.opcode, f.opcode()) << "request " << i;
        QByteArray got, want;
        for (size_t k = 0; k < r.reads.size(); ++k) {
            got += r.reads[k].isEmpty() ? QByteArray("--") : r.reads[k].toHex();
            const QByteArray w = expectedRead(f.answer, int(k) + 1);
            want += w.isEmpty() ? QByteArray("--") : w.toHex();
        }
        if (got == want) continue;
        ++wrongRequests;
        std::printf("  request %zu (opcode %02x, answer %s): reads %s, the rules give %s\n", i, r.opcode,
                    f.answer.toHex().constData(), got.constData(), want.constData());
    }
    EXPECT_LE(wrongRequests, kWrongRequestsAllowed) << "reads out of step with the radio's answers";
    return int(n);
}

int meterFromReads(const Request& r, int before) {
    int value = before;
    for (const QByteArray& b : r.reads)
        if (!b.isEmpty()) value = uint8_t(b.at(0));
    return value;
}

int descriptorsOn(const std::string& device) {
    int count = 0;
    DIR* d = opendir("/proc/self/fd");
    if (!d) return -1;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        char target[4096];
        const std::string path = std::string("/proc/self/fd/") + e->d_name;
        const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
        if (n <= 0) continue;
        target[n] = '\0';
        if (device == target) ++count;
    }
    closedir(d);
    return count;
}

// ---------------------------------------------------------------- the program

void Program::SetUp() {
    ASSERT_TRUE(work.isValid());
    ASSERT_TRUE(QDir::setCurrent(work.path()));
    QFile f(work.filePath(QStringLiteral("qv-7m.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kHandWrittenIni);
}

void Program::TearDown() {
    form.reset();
    comm.reset();
    QCoreApplication::processEvents();  // the controls' deferred deletions
    QDir::setCurrent(QDir::tempPath());
}

void Program::linkCom(const std::string& target, const std::string& radio) {
    ASSERT_TRUE(!comm || !comm->portOpen()) << "the link is changed only while the port is closed";
    const QString name = work.filePath(QStringLiteral("COM1"));
    QFile::remove(name);
    ASSERT_EQ(::symlink(target.c_str(), name.toLocal8Bit().constData()), 0);
    radio_ = radio;
    if (comm) comm->radio = radio;
}

void Program::linkTo(const simtest::Sim& radio) { linkCom(radio.link, radio.link); }

void Program::linkToNothing() {
    linkCom(work.filePath(QStringLiteral("unplugged-adapter")).toStdString(), "nothing");
}

int Program::expectInStep(const simtest::Sim& radio) {
    return faults::expectInStep(comm->requests[radio.link], loggedFrames(radio));
}

void Program::start() {
    comm = std::make_unique<ObservedComm>(qv7m::makeSerialControl());
    comm->radio = radio_;
    form = std::make_unique<qv7m::Form1>(*comm, messages);
    form->endProgram = [this] { ++ends; };
    form->load();
}

bool Program::scanUntil(const std::function<bool()>& tick, int seconds) {
    QTimer timer;
    QElapsedTimer clock;
    clock.start();
    bool done = false, reached = true;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (done) return;
        if (tick()) {
            done = true;
        } else if (clock.elapsed() > seconds * 1000) {
            done = true;
            reached = false;
            if (!form->ended() && form->sweep.running()) form->setup->click();
        }
    });
    timer.start(20);
    EXPECT_TRUE(form->starten->isEnabled());
    form->starten->click();  // returns when the scan stops
    timer.stop();
    return reached;
}

void Program::scanSteps(long long steps) {
    const long long from = form->sweep.fullSteps;
    EXPECT_TRUE(scanUntil([&] {
        if (form->sweep.fullSteps - from < steps) return false;
        form->setup->click();
        return true;
    })) << "the scan did not make " << steps << " steps";
}

void Program::choosePort(int index) {
    form->comport->setCurrentIndex(index);
    emit form->comport->activated(index);
}

void Program::userPause() { usleep(1500 * 1000); }

QByteArray Program::iniNow() const {
    QFile f(work.filePath(QStringLiteral("qv-7m.ini")));
    if (!f.open(QIODevice::ReadOnly)) return "(missing)";
    return f.readAll();
}

void Program::printMessages(const char* when) {
    if (messages.shown.size() == printed_) std::printf("  [%s] no message\n", when);
    for (; printed_ < messages.shown.size(); ++printed_) {
        QString shown = messages.shown[printed_];
        shown.replace(QLatin1Char('\r'), QStringLiteral("<CR>"));
        std::printf("  [%s] message: \"%s\"\n", when, shown.toLocal8Bit().constData());
    }
    std::fflush(stdout);
}

void Program::expectSetUpState() {
    EXPECT_FALSE(form->ended());
    EXPECT_FALSE(form->sweep.running());
    EXPECT_FALSE(comm->portOpen());
    EXPECT_TRUE(form->starten->isEnabled());
    for (QWidget* w : std::initializer_list<QWidget*>{form->style, form->dis, form->step, form->comport})
        EXPECT_TRUE(w->isEnabled()) << w->objectName().toStdString();
    EXPECT_FALSE(form->setup->isEnabled());
    EXPECT_FALSE(form->stopscan->isEnabled());
    EXPECT_FALSE(form->stopscan->isChecked());
    EXPECT_EQ(form->links->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->mitte->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->rechts->text(), QStringLiteral("Hz"));
    EXPECT_EQ(form->comport->count(), 4);
    EXPECT_EQ(form->sweep.shade, 220);
}

void Program::expectMessages(int count) {
    EXPECT_EQ(messages.shown.size(), count) << "one message per failure, no cascade";
}

}  // namespace faults
