// The built qv7m-radio, talked to through its link as the band scope does.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <thread>

#include "sim/cat.h"
#include "sim/engine.h"
#include "sim/sim_harness.h"

using namespace simtest;

namespace {

constexpr auto npos = std::string::npos;
const Bytes kMeterA = {0, 0, 0, 0, 0xF7}, kMeterB = {0x01, 0, 0, 0, 0xF7}, kStatus = {0x01, 0, 0, 0x02, 0x10};

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
std::string hex(const Bytes& b) { return qv7m::sim::hexBytes(b.data(), b.size()); }

// The answer to `req`, and whatever follows it within 40 ms.
Bytes ask(Port& p, const Bytes& req, size_t n) {
  p.send(req);
  Bytes got = p.read(n, 1000).bytes, more = p.read(1, 40).bytes;
  got.insert(got.end(), more.begin(), more.end());
  return got;
}

int64_t recordHz(const Bytes& r) { return int64_t(uint32_t(r.at(1)) << 24 | r.at(2) << 16 | r.at(3) << 8 | r.at(4)) * 10 / 16; }

std::string logText(const Sim& sim) {
  std::string all;
  for (const auto& l : sim.log()) all += l + "\n";
  return all;
}

std::string tempFile(const std::string& text) {
  char path[] = "/tmp/qv7m-band-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_EQ(::write(fd, text.data(), text.size()), ssize_t(text.size()));
  ::close(fd);
  return path;
}

}  // namespace

TEST(Program, BandSeedAndOperatorOptionsTakeEffect) {
  qv7m::sim::Band band;  // what the band file says
  band.floor = 30, band.noise = 4, band.carriers = {{7035000, 150, 170}, {21200000, 0, 255}};
  const qv7m::sim::Meter m(band, 9);
  const std::string bandFile = tempFile("# a band\nfloor 30  # quiet\nnoise 4\n\n  7035000 150 170\n21200000 0 255\n");
  Sim sim({"--band", bandFile, "--seed", "9", "--vfoa", "14250000", "--retune", "0.3s=7035000,4f=21200000"});
  unlink(bandFile.c_str());
  Port p(sim.link);
  const uint8_t a = m.reading(14250000), b = m.reading(7035000), c = m.reading(21200000);
  EXPECT_EQ(hex(ask(p, kMeterA, 5)), hex({a, a, a, a, 0xF7}));
  EXPECT_EQ(recordHz(ask(p, kStatus, 16)), 14250000);
  sleepMs(350);
  EXPECT_EQ(hex(ask(p, kMeterA, 5)), hex({b, b, b, b, 0xF7}));
  EXPECT_EQ(recordHz(ask(p, kStatus, 16)), 7035000);
  EXPECT_EQ(hex(ask(p, kMeterA, 5)), hex({c, c, c, c, 0xF7}));  // after the fourth frame
  EXPECT_TRUE(b > 150 && c > 240) << +b << " " << +c;           // on the signals; a full-scale one keeps its byte
}

TEST(Program, AnswersTakeTheLineTimeAndThePacing) {
  constexpr double kByteMs = 11.0 / 4.8;  // 4800 baud 8N2
  for (const auto& [args, start] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{}, "pacing=before latency=3.000 jitter=0.000 batch=0.000"},
           {{"--pacing", "between", "--latency=1", "--jitter", "0.5", "--batch", "0.25"},
            "pacing=between latency=1.000 jitter=0.500 batch=0.250"}}) {
    Sim sim(args);
    EXPECT_NE(logText(sim).find(start), npos) << logText(sim);
    const bool before = args.empty();
    const double latency = before ? 3 : 1;
    Port p(sim.link);
    for (int pacing : {0, 15}) {
      ask(p, {0, 0, 0, uint8_t(pacing), 0x0E}, 0);
      for (size_t n : {5, 16}) {
        const double t0 = nowMs();
        p.send(n == 5 ? kMeterB : kStatus);
        const auto rx = p.read(n, 2000);
        ASSERT_EQ(rx.bytes.size(), n);
        // Request in, latency, n bytes with the pacing before each or between them. Never
        // early, so the lower bound is tight; a busy machine, jitter and batches only add.
        const double answer = n * kByteMs + (before ? n : n - 1) * pacing, expected = 5 * kByteMs + latency + answer,
                     total = rx.at.back() - t0;
        EXPECT_GE(total, expected - 0.2) << n << " bytes, pacing " << pacing << ", " << start;
        EXPECT_LE(total, expected + 40) << n << " bytes, pacing " << pacing << ", " << start;
        EXPECT_GE(rx.at.back() - rx.at.front(), 0.5 * (answer - kByteMs));  // not one burst
        std::printf("answer of %zu bytes, pacing %d, %s: %.1f ms (model %.1f)\n", n, pacing, start.c_str(), total,
                    expected);
      }
    }
  }
}

TEST(Program, FaultModesBendTheAnswersAndTheLogSaysSo) {
  for (const auto& [mode, bytes] :
       std::vector<std::pair<std::string, size_t>>{{"silent", 0}, {"garbage", 16}, {"drop", 15}, {"extra", 17}}) {
    Sim sim({"--fault", mode});
    Port p(sim.link);
    Bytes got;
    for (int i = 0; i < 3; ++i) EXPECT_EQ((got = ask(p, kStatus, bytes)).size(), bytes) << mode;
    EXPECT_FALSE(bytes == 16 && recordHz(got) == 14250000) << "garbage kept the record";
    EXPECT_NE(sim.log().back().find("answer=" + hex(got) + " note=" + mode), npos) << sim.log().back();
  }
}

TEST(Program, HangupClosesTheLineLikeAPulledCable) {
  Sim sim({"--fault", "hangup=2"});
  Port p(sim.link);
  EXPECT_EQ(ask(p, kMeterB, 5).size(), 5u);
  p.send(kMeterB);
  EXPECT_EQ(sim.waitExit(2000), 0);
  EXPECT_TRUE(p.read(1, 200).bytes.empty());
  EXPECT_LT(::write(p.fd, kMeterB.data(), 5), 0);  // the open port now fails
  EXPECT_NE(access(sim.link.c_str(), F_OK), 0);
  EXPECT_NE(sim.log().back().find("event=hangup frames=2"), npos);
}

TEST(Program, LinkIsMadeAndRemovedWithoutHarmingOthers) {
  for (int sig : {SIGTERM, SIGINT}) {
    Sim sim;
    char target[64] = {};
    ASSERT_GT(readlink(sim.link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.pty, target);
    EXPECT_EQ(sim.stop(sig), 0);
    EXPECT_NE(access(sim.link.c_str(), F_OK), 0);
    EXPECT_NE(sim.log().back().find("event=stop"), npos);
  }
  char tmpl[] = "/tmp/qv7m-link-XXXXXX";
  const std::string dir = mkdtemp(tmpl), stale = dir + "/COM2", mine = dir + "/COM3";
  ASSERT_EQ(symlink("/nonexistent/pts", stale.c_str()), 0);  // left by a killed simulator
  ASSERT_EQ(symlink("/dev/null", mine.c_str()), 0);          // a user's own port
  EXPECT_EQ(Sim({"--link", stale}).pty.rfind("/dev/pts/", 0), 0u);
  const Outcome r = runToEnd({"--link", mine});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("not replacing it"), npos);
  char target[64] = {};
  readlink(mine.c_str(), target, sizeof target - 1);
  EXPECT_STREQ(target, "/dev/null");
  std::system(("rm -rf " + dir).c_str());
}

TEST(Program, HelpAndBadOptions) {
  const Outcome help = runToEnd({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("hangup=N"), npos);
  const std::string badBand = tempFile("floor 10\n\n14100000 100\n");
  const std::pair<std::vector<std::string>, std::string> bad[] = {
      {{"--bogus"}, ""}, {{"--vfoa", "50000000"}, ""}, {{"--fault", "hangup=0"}, ""}, {{"--fault", "smoke"}, ""},
      {{"--retune", "5x=7000000"}, ""}, {{"--latency"}, ""}, {{"--seed", "-1"}, ""}, {{"COM1", "COM2"}, ""},
      {{"--pacing", "after"}, "before or between"}, {{"--jitter", "-1"}, ""}, {{"--batch", "1e9"}, ""},
      {{"--band", "/nonexistent/band"}, "cannot open band file"}, {{"--band", badBand}, "line 3: expected"}};
  for (const auto& [args, what] : bad) {
    const Outcome r = runToEnd(args);
    EXPECT_NE(r.exitCode, 0) << args[0];
    EXPECT_EQ(r.err.rfind("qv7m-radio: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(what), npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  unlink(badBand.c_str());
}

TEST(Program, AnswersToAClosedPortAreLostAndAnIdleLineCostsNothing) {
  Sim sim;
  auto p = std::make_unique<Port>(sim.link);
  const auto a = qv7m::sim::operatingRecord(14250000);  // VFO-B is on VFO-A's frequency
  const std::string both = hex(Bytes(a.begin(), a.end())) + hex(Bytes(a.begin(), a.end()));
  // The program leaves an answer half-way and reopens its port at once, as between sweeps, or a
  // little later: what came meanwhile or was left unread is lost, the rest comes on the radio's schedule.
  for (int closedUs : {200, 10000}) {
    const size_t logged = logText(sim).size();
    p->send({0x01, 0, 0, 0x03, 0x10});  // 32 bytes, about 75 ms
    const Bytes head = p->read(3, 500).bytes;
    p->close();
    usleep(closedUs);
    p = std::make_unique<Port>(sim.link);
    const Bytes rest = p->read(32, 300).bytes;
    std::string lost, all = logText(sim).substr(logged);
    for (size_t at = 0; (at = all.find("event=lost bytes=", at)) != npos;)
      at += 17, lost += all.substr(at, all.find(' ', at) - at);
    EXPECT_EQ(hex(head) + lost + hex(rest), both) << all;
    EXPECT_GE(lost.size(), closedUs > 5000 ? 2 * 3u : 0u);  // 10 ms closed: about four bytes
    EXPECT_GE(rest.size(), 15u);
    EXPECT_TRUE(all.find("event=close") != npos && all.find("event=open") != npos) << all;
  }
  EXPECT_EQ(ask(*p, kMeterB, 5).size(), 5u);

  clockid_t clock;  // idle with the port held, as during a pause in a scan
  ASSERT_EQ(clock_getcpuclockid(sim.pid, &clock), 0);
  timespec before{}, after{};
  clock_gettime(clock, &before);
  sleepMs(2000);
  clock_gettime(clock, &after);
  const double used = (after.tv_sec - before.tv_sec) * 1e3 + (after.tv_nsec - before.tv_nsec) / 1e6;
  std::printf("processor time over 2 s idle: %.2f ms\n", used);
  EXPECT_LE(used, 20);  // two clock ticks
}

// An independent client: Hamlib's rigctl, model 1024 (FT-1000MP). What it
// printed is kept in tests/sim/rigctl-output.txt of the build directory.
TEST(Rigctl, ReadsAndSetsTheSimulatedRadio) {
  ASSERT_EQ(std::system("command -v rigctl >/dev/null"), 0) << "rigctl is missing: scripts/setup.sh installs libhamlib-utils";
  Sim sim({"--vfoa", "14250000", "--seed", "1"});
  const qv7m::sim::Meter meter(qv7m::sim::builtinBand(), 1);
  // VFO-A, then VFO-B set onto a CW signal, and the meters of both receivers;
  // then a second run, which has no cache: VFO-B is read back from the radio.
  std::string printed;
  std::vector<std::string> a, b;
  for (auto [commands, values] : {std::pair{"f VFOA F VFOB 14254200 l VFOB RAWSTR l VFOA RAWSTR l VFOA STRENGTH", &a},
                                  std::pair{"f VFOB", &b}}) {
    const std::string cmd = "rigctl -m 1024 -r " + sim.link + " -s 4800 --vfo " + commands;
    printed += "$ " + cmd + "\n";
    FILE* p = popen((cmd + " 2>&1").c_str(), "r");
    char buf[512];
    while (p && std::fgets(buf, sizeof buf, p)) printed += buf, values->emplace_back(buf, std::strcspn(buf, "\n"));
    printed += "[exit " + std::to_string(p ? pclose(p) : -1) + "]\n";
  }
  std::printf("%s", printed.c_str());
  if (const char* dir = std::getenv("QV7M_BUILD_DIR")) std::ofstream(std::string(dir) + "/tests/sim/rigctl-output.txt") << printed;
  ASSERT_EQ(a.size(), 4u) << printed;
  EXPECT_EQ(a[0], "14250000");
  EXPECT_EQ(a[1], std::to_string(meter.reading(14254200)));  // sub receiver, P1 = 01
  EXPECT_EQ(a[2], std::to_string(meter.reading(14250000)));  // main receiver, P1 = 00
  EXPECT_LT(std::abs(std::stoi(a[3])), 70);                  // dB relative to S9
  ASSERT_EQ(b, std::vector<std::string>{"14254200"}) << printed;
  EXPECT_NE(logText(sim).find("frame=205442018A vfoa=14250000 vfob=14254200 answer=- meter="), npos) << logText(sim);
}
