// The simulated radio's line model and answers, on explicit times, and the
// band and the meter reading it gives.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/cat.h"
#include "sim/engine.h"

using namespace qv7m::sim;

namespace {

constexpr int64_t T = kByteNs, MS = 1000000;
const std::vector<uint8_t> kMeterB = {0x01, 0, 0, 0, 0xF7}, kPacing15 = {0, 0, 0, 15, 0x0E};

struct Rig {
  explicit Rig(EngineConfig cfg = {})
      : engine(cfg, Meter(builtinBand(), cfg.seed), [this](uint8_t b, int64_t at, bool) { out.push_back({b, at}); },
               [this](const std::string& l) { log.push_back(l); }) {}
  void send(std::vector<uint8_t> b, int64_t at) { engine.receive(b.data(), b.size(), at); }
  std::vector<std::pair<uint8_t, int64_t>> out;  // byte, when its stop bit ends
  std::vector<std::string> log;
  Engine engine;
};

}  // namespace

TEST(Engine, AnswerBytesLeaveOneByteTimeApartAfterTheLatency) {
  Rig r;
  r.send(kMeterB, 0);
  EXPECT_EQ(r.engine.nextDeadline(), 5 * T);  // the frame is in
  r.engine.advance(10000 * MS);
  ASSERT_EQ(r.out.size(), 5u);
  const int m = r.engine.meter().reading(14250000);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r.out[i], std::make_pair(uint8_t(i < 4 ? m : 0xF7), 5 * T + 3 * MS + (i + 1) * T));
  EXPECT_EQ(r.engine.nextDeadline(), Engine::kNever);  // idle: nothing to wake for
}

TEST(Engine, OnTheRealClockAnAnswerWokenLateKeepsItsFullPacing) {
  EngineConfig cfg;
  cfg.realClock = true;
  Rig r(cfg);
  r.send(kPacing15, 0);
  r.send(kMeterB, 100 * MS);
  const int64_t start = 100 * MS + 5 * T + 3 * MS;
  r.engine.advance(start + T);  // the first byte on time
  ASSERT_EQ(r.out.size(), 1u);
  // The process sleeps through two byte times: what is due goes at once,
  // and the rest follows a full step apart, never bunched.
  r.engine.advance(start + 50 * MS);
  ASSERT_EQ(r.out.size(), 2u);
  EXPECT_EQ(r.out[1].second, start + 50 * MS);
  for (int64_t t = start + 50 * MS; t < start + 200 * MS; t += MS / 4) r.engine.advance(t);  // a timely process
  ASSERT_EQ(r.out.size(), 5u);
  for (int i = 2; i < 5; ++i) EXPECT_EQ(r.out[i].second - r.out[i - 1].second, T + 15 * MS) << i;
}

TEST(Engine, PacingStandsBetweenBytesAndIsTakenWhenAnAnswerBegins) {
  Rig r;
  r.send(kPacing15, 0);
  r.send(kMeterB, 100 * MS);
  r.send({0, 0, 0, 2, 0x0E}, 120 * MS);  // mid-answer: applies from the next answer on
  r.send(kMeterB, 300 * MS);
  r.engine.advance(10000 * MS);
  ASSERT_EQ(r.out.size(), 10u);
  EXPECT_EQ(r.out[4].second - (100 * MS + 5 * T + 3 * MS), 5 * T + 4 * 15 * MS);
  EXPECT_EQ(r.out[9].second - r.out[5].second, 4 * (T + 2 * MS));
}

TEST(Engine, BurstIsTakenInAtLineSpeedAndAnswersQueueInOrderWhileReceivingGoesOn) {
  Rig r;
  // Two requests in one burst: the second is in at 10 T; its answer waits
  // for the first to end.
  r.send({0x01, 0, 0, 0x01, 0x10, 0x01, 0, 0, 0, 0xFA}, 0);
  r.engine.advance(10000 * MS);
  ASSERT_EQ(r.log.size(), 2u);
  EXPECT_EQ(r.log[0].substr(0, 8), "t=11.458");
  EXPECT_EQ(r.log[1].substr(0, 8), "t=22.916");
  ASSERT_EQ(r.out.size(), 6u);  // memory channel, then the flags
  EXPECT_EQ(r.out[0].second, 5 * T + 3 * MS + T);
  EXPECT_EQ(r.out[1].second, 10 * T + 3 * MS + T);
  EXPECT_EQ(r.out[5].first, 0x93);

  Rig a;
  a.send({0x01, 0, 0, 0x03, 0x10}, 0);             // 32 bytes, ~73 ms
  a.send({0x00, 0x35, 0x70, 0x00, 0x8A}, 30 * MS);  // in while answering
  a.engine.advance(45 * MS);
  EXPECT_EQ(a.engine.vfobHz(), 7035000);
  a.engine.advance(10000 * MS);
  EXPECT_EQ(a.out.size(), 32u);  // the answer under way was not disturbed
}

TEST(Engine, PartialFrameIsDroppedAfterAPauseButNotBetweenSlowBytes) {
  Rig r;
  r.send({0x01, 0x00, 0x00}, 0);
  r.send(kMeterB, 100 * MS);
  r.engine.advance(1000 * MS);
  EXPECT_EQ(r.log[0], "t=26.875 event=partial bytes=010000");  // 3 T + 20 ms
  EXPECT_EQ(r.out.size(), 5u);
  Rig u;  // a writer that sends byte by byte, 5 ms apart (as Hamlib does), still makes one frame
  for (int i = 0; i < 5; ++i) u.send({kMeterB[i]}, i * 5 * MS);
  u.engine.advance(1000 * MS);
  EXPECT_EQ(u.out.size(), 5u);
}

TEST(Band, ReadingIsAPureFunctionOfFrequencyBandAndSeedAndFollowsTheSignals) {
  const Meter a(builtinBand(), 7), b(builtinBand(), 7), c(builtinBand(), 8), m(builtinBand(), 1);
  int differ = 0;
  for (int64_t hz = 14200000; hz <= 14300000; hz += 100) {
    EXPECT_EQ(a.reading(hz), b.reading(hz));
    differ += a.reading(hz) != c.reading(hz);
  }
  EXPECT_GT(differ, 100);  // the seed moves the noise
  // A strong CW signal at 14.2542 MHz (level 200), its skirt, and empty band.
  EXPECT_NEAR(m.reading(14254200), 200, 4);
  EXPECT_GT(m.reading(14254200 + 1000), 190);  // still inside the 2.4 kHz filter
  EXPECT_LT(m.level(14254200 + 1900), 150);    // on the skirt
  EXPECT_NEAR(m.reading(14320000), 24, 4);     // floor and noise
  EXPECT_NEAR(m.reading(7035000), 195, 4);
  // Never out of range, and above F0 only for the loudest of signals.
  for (int64_t hz = 14200000; hz < 14300000; hz += 10) EXPECT_LE(m.reading(hz), 0xF0);
  Band loud;
  loud.carriers = {{14250000, 0, 255}};
  const int top = Meter(loud, 1).reading(14250000);
  EXPECT_LE(top, 255);
  EXPECT_GT(top, 240);
}

TEST(Band, FileFormat) {
  std::istringstream good("# test band\nfloor 10   # quiet\nnoise 0\nfilter 500\n\n14100000 100 120\n  7000000 2700 90\n");
  Band b;
  std::string err;
  ASSERT_TRUE(parseBand(good, b, err)) << err;
  EXPECT_EQ(b.floor, 10);
  EXPECT_EQ(b.filterHz, 500);
  ASSERT_EQ(b.carriers.size(), 2u);
  EXPECT_EQ(b.carriers[1].widthHz, 2700);
  const Meter m(b, 1);
  EXPECT_EQ(m.reading(14100000), 120);
  EXPECT_EQ(m.reading(14110000), 10);
  const char* bad[][2] = {{"floor 10\n14100000 100\n", "line 2: expected"},
                          {"14100000 100 300\n", "line 1: level must be 0..255"},
                          {"floor x\n", "line 1: expected 'floor NUMBER'"},
                          {"\n\nwidth 3\n", "line 3: expected"},
                          {"14100000 -5 10\n", "line 1: width out of range"}};
  for (auto& c : bad) {
    std::istringstream in(c[0]);
    EXPECT_FALSE(parseBand(in, b, err)) << c[0];
    EXPECT_EQ(err.rfind(c[1], 0), 0u) << err;
  }
  EXPECT_FALSE(loadBandFile("/nonexistent/band.txt", b, err));
  EXPECT_EQ(err, "/nonexistent/band.txt: cannot open band file");
}
