// The built qv7m-radio, talked to through its link as the band scope does.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "sim/band.h"
#include "sim/sim_harness.h"

using namespace simtest;
using qv7m::sim::Meter;

namespace {

constexpr double kByteMs = 11.0 / 4.8;  // 4800 baud 8N2
const Bytes kMeterB = {0x01, 0, 0, 0, 0xF7};
const Bytes kStatus = {0x01, 0, 0, 0x02, 0x10};

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

std::string hex(const Bytes& b) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t x : b) s += {d[x >> 4], d[x & 15]};
  return s.empty() ? "-" : s;
}

// The answer to `req`, and nothing after it for quietMs.
Bytes ask(Port& p, const Bytes& req, size_t n, int quietMs = 40) {
  p.send(req);
  Bytes got = p.read(n, 1000).bytes;
  const Bytes more = p.read(1, quietMs).bytes;
  got.insert(got.end(), more.begin(), more.end());
  return got;
}

int64_t recordHz(const Bytes& r) {
  const uint32_t c = uint32_t(r[1]) << 24 | r[2] << 16 | r[3] << 8 | r[4];
  return int64_t(c) * 10 / 16;
}

}  // namespace

TEST(Program, AnswersEveryOpcodeAsTheRadioDoes) {
  Sim sim;
  Port p(sim.link);
  const Meter m(qv7m::sim::builtinBand(), 1);
  const int a = m.reading(14250000), b = m.reading(7035000);
  const Bytes recA = {0x00, 0x01, 0x5B, 0xE6, 0x80, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes recB = {0x00, 0x00, 0xAB, 0xC0, 0xC0, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes both = recA;
  both.insert(both.end(), recB.begin(), recB.end());
  const struct {
    Bytes req, answer;
  } cases[] = {
      {{0x00, 0x35, 0x70, 0x00, 0x8A}, {}},  // VFO-B to 7.035 MHz
      {kMeterB, Bytes{uint8_t(b), uint8_t(b), uint8_t(b), uint8_t(b), 0xF7}},
      {{0x00, 0, 0, 0, 0xF7}, Bytes{uint8_t(a), uint8_t(a), uint8_t(a), uint8_t(a), 0xF7}},
      {{0x00, 0x5A, 0x42, 0x01, 0x0A}, {}},  // not decimal: ignored
      {{0x00, 0x00, 0x00, 0x30, 0x0A}, {}},  // 300 MHz: beyond the radio, ignored
      {{0x01, 0, 0, 0x01, 0x10}, {0x00}},
      {kStatus, recA},
      {{0x01, 0, 0, 0x03, 0x10}, both},
      {{0x00, 0, 0, 0x01, 0xFA}, {0x00, 0x00, 0x00, 0x03, 0x93}},
      {{0x00, 0, 0, 0x00, 0x0E}, {}},
      {{0x00, 0, 0, 0x01, 0x83}, {}},
      {{0x00, 0, 0, 0x00, 0x85}, {}},
      {{0x00, 0, 0, 0x00, 0x42}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(hex(ask(p, c.req, c.answer.size())), hex(c.answer)) << hex(c.req);
  const auto log = sim.log();
  EXPECT_NE(log[5].find("frame=005A42010A vfoa=14250000 vfob=7035000 answer=- note=badbcd"),
            std::string::npos)
      << log[5];
}

TEST(Program, AnswersTakeTheLineTimeAndThePacing) {
  Sim sim;
  Port p(sim.link);
  for (int pacing : {0, 15}) {
    ask(p, {0, 0, 0, uint8_t(pacing), 0x0E}, 0);
    for (size_t n : {5, 16}) {
      const double t0 = nowMs();
      const auto rx = (p.send(n == 5 ? kMeterB : kStatus), p.read(n, 2000));
      ASSERT_EQ(rx.bytes.size(), n);
      // Request in, 3 ms latency, n bytes with the pacing between them. The
      // simulator never writes early, so the lower bound is tight; a busy
      // machine only adds.
      const double answer = n * kByteMs + (n - 1) * pacing;
      const double total = rx.at.back() - t0, expected = 5 * kByteMs + 3 + answer;
      EXPECT_GE(total, expected - 0.2) << n << " bytes, pacing " << pacing;
      EXPECT_LE(total, expected + 40) << n << " bytes, pacing " << pacing;
      EXPECT_GE(rx.at.back() - rx.at.front(), 0.5 * (answer - kByteMs));  // not one burst
      std::printf("answer of %zu bytes, pacing %d: %.1f ms after the request (model %.1f)\n", n,
                  pacing, total, expected);
    }
  }
  // Two requests in one burst: both answered, in order, one after the other.
  ask(p, {0, 0, 0, 0, 0x0E}, 0);
  Bytes two = kMeterB;
  two.insert(two.end(), kStatus.begin(), kStatus.end());
  const double t0 = nowMs();
  const auto rx = (p.send(two), p.read(21, 2000));
  ASSERT_EQ(rx.bytes.size(), 21u);
  EXPECT_EQ(rx.bytes[4], 0xF7);
  EXPECT_EQ(recordHz(Bytes(rx.bytes.begin() + 5, rx.bytes.end())), 14250000);
  EXPECT_GE(rx.at.back() - t0, 10 * kByteMs + 3 + 16 * kByteMs - 0.2);
}

TEST(Program, ResynchronisesAfterAPartialFrame) {
  Sim sim;
  Port p(sim.link);
  p.send({0x01, 0x00, 0x00});
  sleepMs(60);
  EXPECT_EQ(ask(p, kMeterB, 5).size(), 5u);
  // Without the pause the bytes run into the next frame and nothing fits.
  p.send({0x01, 0x00});
  EXPECT_EQ(ask(p, kMeterB, 0).size(), 0u);
  sleepMs(60);
  EXPECT_EQ(ask(p, kMeterB, 5).size(), 5u);
  const auto log = sim.log();
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](auto& l) { return l.find("event=partial") != std::string::npos; }),
            2);
}

TEST(Program, FaultModesBendTheAnswersAndTheLogSaysSo) {
  const struct {
    const char* mode;
    size_t bytes;
  } cases[] = {{"silent", 0}, {"garbage", 16}, {"drop", 15}, {"extra", 17}};
  for (const auto& c : cases) {
    Sim sim({"--fault", c.mode});
    Port p(sim.link);
    Bytes got;
    for (int i = 0; i < 3; ++i) {
      got = ask(p, kStatus, c.bytes);
      EXPECT_EQ(got.size(), c.bytes) << c.mode;
    }
    if (c.bytes == 16) {
      EXPECT_NE(recordHz(got), 14250000);
    }
    const std::string last = sim.log().back();
    EXPECT_NE(last.find("answer=" + hex(got) + " note=" + c.mode), std::string::npos) << last;
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
  struct stat st;
  EXPECT_NE(lstat(sim.link.c_str(), &st), 0);
  EXPECT_NE(sim.log().back().find("event=hangup frames=2"), std::string::npos);
}

TEST(Program, AnswersToAClosedPortAreLost) {
  Sim sim;
  {
    Port p(sim.link);
    p.send({0x01, 0, 0, 0x03, 0x10});  // 32 bytes, about 90 ms
    EXPECT_EQ(p.read(3, 500).bytes.size(), 3u);
  }
  sleepMs(150);
  Port again(sim.link);
  EXPECT_TRUE(again.read(1, 100).bytes.empty());
  EXPECT_EQ(ask(again, kMeterB, 5).size(), 5u);
  std::string all;
  for (const auto& l : sim.log()) all += l + "\n";
  EXPECT_NE(all.find("event=close"), std::string::npos) << all;
  EXPECT_NE(all.find("event=lost bytes="), std::string::npos) << all;
}

TEST(Program, LogRecordsEveryFrameAndTheMeterFollowsTheBand) {
  char tmpl[] = "/tmp/qv7m-band-XXXXXX";
  const int fd = mkstemp(tmpl);
  const std::string bandText = "floor 30\nnoise 4\n14100000 150 170\n14103000 2700 120\n";
  ASSERT_EQ(::write(fd, bandText.data(), bandText.size()), ssize_t(bandText.size()));
  ::close(fd);
  qv7m::sim::Band band;
  std::string err;
  std::istringstream in(bandText);
  ASSERT_TRUE(qv7m::sim::parseBand(in, band, err));
  const Meter meter(band, 9);

  Sim sim({"--band", tmpl, "--seed", "9", "--vfoa", "14100000"});
  Port p(sim.link);
  std::vector<int> readings;
  for (int64_t hz = 14095000; hz <= 14105000; hz += 1000) {
    const int64_t u = hz / 10;
    ask(p, {uint8_t((u % 100 / 10) << 4 | u % 10), uint8_t((u / 100 % 100 / 10) << 4 | u / 100 % 10),
            uint8_t((u / 10000 % 100 / 10) << 4 | u / 10000 % 10),
            uint8_t((u / 1000000 % 100 / 10) << 4 | u / 1000000 % 10), 0x8A},
        0, 0);
    const Bytes r = ask(p, kMeterB, 5, 0);
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[3], meter.reading(hz)) << hz;
    readings.push_back(r[3]);
  }
  unlink(tmpl);
  EXPECT_GT(readings[5], 150);  // on the CW signal
  EXPECT_LT(readings[0], 40);   // 5 kHz off

  const std::regex frame(
      R"(t=(\d+\.\d{3}) frame=([0-9A-F]{10}) vfoa=(\d+) vfob=(\d+) answer=([0-9A-F]+|-)( meter=(\d+))?( note=[a-z]+)?)");
  const std::regex event(R"(t=(\d+\.\d{3}) event=[a-z]+( \S+=\S+)*)");
  double last = 0;
  size_t frames = 0, i = 0;
  for (const auto& l : sim.log()) {
    std::smatch mt;
    if (std::regex_match(l, mt, frame)) {
      ++frames;
      const bool setB = mt[2].str().substr(8) == "8A";
      EXPECT_EQ(mt[6].matched, setB) << l;
      if (setB) {
        EXPECT_EQ(std::stoi(mt[7]), meter.reading(std::stoll(mt[4]))) << l;
      } else {
        EXPECT_EQ(std::stoi(mt[5].str().substr(0, 2), nullptr, 16), readings[i++]) << l;
      }
    } else {
      EXPECT_TRUE(std::regex_match(l, mt, event)) << l;
    }
    EXPECT_GE(std::stod(mt[1]), last) << l;
    last = std::stod(mt[1]);
  }
  EXPECT_EQ(frames, 22u);
}

TEST(Program, OperatorRetunesOnSchedule) {
  Sim sim({"--vfoa", "14250000", "--retune", "0.3s=7035000,3f=21200000"});
  Port p(sim.link);
  EXPECT_EQ(recordHz(ask(p, kStatus, 16)), 14250000);
  sleepMs(350);
  EXPECT_EQ(recordHz(ask(p, kStatus, 16)), 7035000);
  ask(p, {0, 0, 0, 0, 0x0E}, 0);  // third frame
  EXPECT_EQ(recordHz(ask(p, kStatus, 16)), 21200000);
}

TEST(Program, LinkIsMadeAndRemovedWithoutHarmingOthers) {
  for (int sig : {SIGTERM, SIGINT}) {
    Sim sim;
    char target[64] = {};
    ASSERT_GT(readlink(sim.link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(sim.pty, target);
    EXPECT_EQ(sim.stop(sig), 0);
    EXPECT_NE(access(sim.link.c_str(), F_OK), 0);
    EXPECT_NE(sim.log().back().find("event=stop"), std::string::npos);
  }
  char tmpl[] = "/tmp/qv7m-link-XXXXXX";
  const std::string dir = mkdtemp(tmpl);
  const std::string stale = dir + "/COM2", mine = dir + "/COM3";
  ASSERT_EQ(symlink("/nonexistent/pts", stale.c_str()), 0);  // left by a killed simulator
  ASSERT_EQ(symlink("/dev/null", mine.c_str()), 0);          // a user's own port
  {
    Sim sim({"--link", stale});
    EXPECT_EQ(sim.pty.rfind("/dev/pts/", 0), 0u);
  }
  const Outcome r = runToEnd({"--link", mine});
  EXPECT_NE(r.exitCode, 0);
  EXPECT_NE(r.err.find("not replacing it"), std::string::npos);
  char target[64] = {};
  readlink(mine.c_str(), target, sizeof target - 1);
  EXPECT_STREQ(target, "/dev/null");
  unlink(mine.c_str());
  rmdir(dir.c_str());
}

TEST(Program, HelpAndBadOptions) {
  const Outcome help = runToEnd({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* opt : {"--link", "--vfoa", "--vfob", "--retune", "--band", "--seed", "--latency",
                          "--resync", "--fault", "--log", "hangup=N"})
    EXPECT_NE(help.out.find(opt), std::string::npos) << opt;

  char tmpl[] = "/tmp/qv7m-badband-XXXXXX";
  const int fd = mkstemp(tmpl);
  ASSERT_EQ(::write(fd, "14100000 100\n", 13), 13);
  ::close(fd);
  const std::vector<std::vector<std::string>> bad = {
      {"--bogus"},          {"--vfoa", "abc"},      {"--vfoa", "50000000"}, {"--fault", "smoke"},
      {"--fault", "hangup=0"}, {"--retune", "5x=7000000"}, {"--latency"},  {"--seed", "-1"},
      {"--band", "/nonexistent/band"}, {"--band", tmpl},  {"COM1", "COM2"}};
  for (const auto& args : bad) {
    const Outcome r = runToEnd(args);
    EXPECT_NE(r.exitCode, 0) << args[0];
    EXPECT_EQ(r.err.rfind("qv7m-radio: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
  }
  unlink(tmpl);
}

TEST(Program, SpendsNoProcessorTimeWhileIdle) {
  Sim sim;
  auto cpuTicks = [&] {
    std::ifstream f("/proc/" + std::to_string(sim.pid) + "/stat");
    std::string s((std::istreambuf_iterator<char>(f)), {});
    std::istringstream rest(s.substr(s.rfind(')') + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
      if (i == 14 || i == 15) ticks += std::stol(field);  // utime, stime
    return ticks;
  };
  Port p(sim.link);  // idle with the port held, as during a pause in a scan
  ask(p, kMeterB, 5);
  sleepMs(50);
  const long before = cpuTicks();
  sleepMs(2000);
  const long used = cpuTicks() - before;
  std::printf("processor time over 2 s idle: %ld ticks of 1/%ld s\n", used, sysconf(_SC_CLK_TCK));
  EXPECT_LE(used, 2);
}
