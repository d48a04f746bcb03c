#pragma once
// The whole program against a misbehaving simulated radio: the real serial
// stack on the simulator's pseudo-terminal, the real window on the offscreen
// platform, messages recorded, the program's end counted.
//
// Between the window and the serial stack sits a see-through control that
// notes every request and what each of its reads returned, so that a test
// can hold those reads against the bytes the radio really sent (the
// simulator's log): the link keeps in step exactly when read 3 + i of every
// request returned byte i of that request's own answer.

#include "app/form1.h"
#include "sim/sim_harness.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace faults {

// A request frame the program sent and what each of its reads returned.
struct Request {
    uint8_t opcode = 0;
    uint8_t p4 = 0;
    std::vector<QByteArray> reads;
};

// Forwards every operation to the real control and notes requests and reads.
class ObservedComm : public qv7m::MSComm {
public:
    explicit ObservedComm(std::unique_ptr<qv7m::MSComm> inner);

    void setCommPort(int16_t port) override { inner_->setCommPort(port); }
    int16_t commPort() const override { return inner_->commPort(); }
    void setSettings(const QString& s) override { inner_->setSettings(s); }
    QString settings() const override { return inner_->settings(); }
    void setRThreshold(int16_t n) override { inner_->setRThreshold(n); }
    void setSThreshold(int16_t n) override { inner_->setSThreshold(n); }
    void setInputLen(int16_t n) override { inner_->setInputLen(n); }
    void setPortOpen(bool open) override { inner_->setPortOpen(open); }
    bool portOpen() const override { return inner_->portOpen(); }
    void Output(const QByteArray& bytes) override;
    QByteArray Input() override;
    int16_t commEvent() const override { return inner_->commEvent(); }
    void idleWait(int ms) override { inner_->idleWait(ms); }

    // Requests by the radio they went to (the fixture names it as it links
    // the port), in order.
    std::map<std::string, std::vector<Request>> requests;
    std::string radio;

private:
    std::unique_ptr<qv7m::MSComm> inner_;
    QByteArray partial_;
    Request* last_ = nullptr;  // the request the next reads belong to
};

// One frame as the simulator logged it, with the answer it sent.
struct LoggedFrame {
    QByteArray bytes;
    QByteArray answer;  // empty: nothing sent
    long vfob = 0;      // Hz, after the frame
    int meter = -1;     // on set-VFO-B frames: the reading there
    int opcode() const { return uint8_t(bytes.at(4)); }
    bool isRequest() const;
};
std::vector<LoggedFrame> loggedFrames(const simtest::Sim& sim);

// What read `read` (1-based) of a request takes from its answer: nothing for
// reads 1 to 3, answer byte read - 3 after that, nothing past the answer.
QByteArray expectedRead(const QByteArray& answer, int read);

// Checks every request the program made on this radio against the answer the
// radio sent for it, printing each one read otherwise. Returns how many
// requests were compared.
int expectInStep(const std::vector<Request>& requests, const std::vector<LoggedFrame>& log);
// Requests a radio's run (a few dozen) may have read wrong through the
// machine's own delays: a test machine shared by several programs now and
// then hands a byte over later than any serial adapter, which costs a request
// or two. A link out of step gets nearly all of them wrong. The rules for
// late bytes are pinned down on a virtual clock.
constexpr int kWrongRequestsAllowed = 5;

// The meter value the reads of one meter request leave: the last non-empty one.
int meterFromReads(const Request& r, int before);

// Descriptors of this process open on `device` (a port not given back shows here).
int descriptorsOn(const std::string& device);

// The settings file the suite starts with: COM1, 80 kHz, 1000 Hz, "Line
// Graph", in a hand-written form that the program never writes itself, so
// that any write shows.
extern const QByteArray kHandWrittenIni;
// What "Quit" writes for the same choices.
extern const QByteArray kQuitIni;

class Program : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Points the working directory's COM1 at the radio (only while the port
    // is closed), or at nothing: a link to a device that is not there, as an
    // unplugged adapter leaves it.
    void linkTo(const simtest::Sim& radio);
    void linkToNothing();
    // The requests that went to this radio, checked against its log.
    int expectInStep(const simtest::Sim& radio);
    const std::vector<Request>& requestsTo(const simtest::Sim& radio) { return comm->requests[radio.link]; }
    // Builds the stack and the window and runs the form's load, as the
    // program does before the window is first shown.
    void start();
    // Presses "Start scan" and runs `tick` every 20 ms inside the scan until
    // it returns true (it presses Setup or Quit, or the scan has ended).
    // Returns false when the goal was not reached within `seconds`.
    bool scanUntil(const std::function<bool()>& tick, int seconds = 30);
    // "Start scan", a number of full steps, then "Setup" at a step.
    void scanSteps(long long steps);
    // Chooses the port in the list, as a user's click does.
    void choosePort(int index);
    // The time a user takes to plug a cable or another radio in: long enough
    // for the radio to have been switched off and on.
    static void userPause();

    QByteArray iniNow() const;
    // The messages shown since the last call, printed, so that a run shows
    // what the user saw.
    void printMessages(const char* when);
    // The window as "Setup" leaves it: Start and the lists enabled, Setup and
    // Hold disabled, Hold clear, the labels back to "Hz".
    void expectSetUpState();
    // No message beyond the first `count`.
    void expectMessages(int count);

    void linkCom(const std::string& target, const std::string& radio);

    QTemporaryDir work;
    std::string radio_;
    int printed_ = 0;
    std::unique_ptr<ObservedComm> comm;
    std::unique_ptr<qv7m::Form1> form;
    qv7m::RecordingPresenter messages;
    int ends = 0;
};

}  // namespace faults
