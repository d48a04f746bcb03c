// The simulated radio's line model and answers, on explicit times, and the
// band and the meter reading it gives.
#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "sim/cat.h"
#include "sim/engine.h"

using namespace qv7m::sim;

namespace {

constexpr int64_t T = qv7m::cat::kByteNs, MS = 1000000;
using Bytes = std::vector<uint8_t>;
const Bytes kMeterB = {0x01, 0, 0, 0, 0xF7}, kPacing15 = {0, 0, 0, 15, 0x0E};

struct Rig {
  explicit Rig(EngineConfig cfg = {})
      : engine(cfg, Meter(builtinBand(), cfg.seed), [this](uint8_t b, int64_t at, bool) { out.push_back({b, at}); },
               [this](const std::string& l) { log.push_back(l); }) {}
  void send(Bytes b, int64_t at) { engine.receive(b.data(), b.size(), at); }
  std::vector<std::pair<uint8_t, int64_t>> out;  // byte, when its stop bit ends
  std::vector<std::string> log;
  Engine engine;
};

std::string hex(const Bytes& b) { return hexBytes(b.data(), b.size()); }

}  // namespace

TEST(Engine, AnswersEveryOpcodeAsTheRadioDoesAndLogsEveryFrame) {
  Rig r;
  const uint8_t a = r.engine.meter().reading(14250000), b = r.engine.meter().reading(7035000);
  const Bytes recA = {0x00, 0x01, 0x5B, 0xE6, 0x80, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0, 0};
  Bytes both = recA;  // and then VFO-B's record
  both.insert(both.end(), {0x00, 0x00, 0xAB, 0xC0, 0xC0, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0});
  const struct {
    Bytes req, answer;
  } cases[] = {
      {{0x00, 0x35, 0x70, 0x00, 0x8A}, {}},  // VFO-B to 7.035 MHz
      {kMeterB, {b, b, b, b, 0xF7}},         {{0x00, 0, 0, 0, 0xF7}, {a, a, a, a, 0xF7}},
      {{0x00, 0x5A, 0x42, 0x01, 0x0A}, {}},  // not decimal: ignored
      {{0x00, 0x00, 0x00, 0x30, 0x0A}, {}},  // 300 MHz: beyond the radio, ignored
      {{0x01, 0, 0, 0x01, 0x10}, {0x00}},    {{0x01, 0, 0, 0x02, 0x10}, recA},
      {{0x01, 0, 0, 0x03, 0x10}, both},      {{0x00, 0, 0, 0x01, 0xFA}, {0x00, 0x00, 0x00, 0x03, 0x93}},
      {{0x00, 0, 0, 0x00, 0x0E}, {}},        {{0x00, 0, 0, 0x01, 0x83}, {}},  {{0x00, 0, 0, 0x00, 0x42}, {}},
  };
  int64_t t = 0;
  for (const auto& c : cases) {
    r.out.clear();
    r.send(c.req, t += 1000 * MS);
    r.engine.advance(t + 999 * MS);
    Bytes got;
    for (const auto& o : r.out) got.push_back(o.first);
    EXPECT_EQ(hex(got), hex(c.answer)) << hex(c.req);
  }
  // One line a frame; a set-VFO-B frame also names the meter value it implies.
  ASSERT_EQ(r.log.size(), std::size(cases));
  EXPECT_EQ(r.log[0], "t=1011.458 frame=003570008A vfoa=14250000 vfob=7035000 answer=- meter=" + std::to_string(b));
  EXPECT_EQ(r.log[3], "t=4011.458 frame=005A42010A vfoa=14250000 vfob=7035000 answer=- note=badbcd");
  EXPECT_EQ(r.log[7], "t=8011.458 frame=0100000310 vfoa=14250000 vfob=7035000 answer=" + hex(both));
}

TEST(Engine, AnswerBytesKeepTheLineTimeThePacingModelTheJitterAndTheBatches) {
  Rig r;
  r.send(kMeterB, 0);
  EXPECT_EQ(r.engine.nextDeadline(), 5 * T);  // the frame is in
  r.engine.advance(100 * MS);
  ASSERT_EQ(r.out.size(), 5u);
  const int m = r.engine.meter().reading(14250000);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(r.out[i], std::make_pair(uint8_t(i < 4 ? m : 0xF7), 5 * T + 3 * MS + (i + 1) * T));
  EXPECT_EQ(r.engine.nextDeadline(), Engine::kNever);  // idle: nothing to wake for

  // Four meter answers, the second queued behind the first, its pacing (15 ms, then 2 ms) taken
  // when each begins. Jitter moves when an answer may begin, never the faults' random bytes;
  // batches move only the hand-over.
  const struct {
    bool before;
    int64_t jitter, batch;
  } cases[] = {{true, 0, 0}, {false, 0, 0}, {true, 4 * MS, 0}, {false, 0, 16 * MS}};
  const int64_t asked[] = {100 * MS, 120 * MS, 400 * MS, 600 * MS};
  std::string garbage;  // the same in every case
  for (const auto& c : cases) {
    EngineConfig cfg;
    cfg.paceBeforeFirstByte = c.before, cfg.jitterNs = c.jitter, cfg.batchNs = c.batch, cfg.fault = Fault::Garbage;
    Rig q(cfg);
    q.send(kPacing15, 0);
    q.send(kMeterB, asked[0]), q.send(kMeterB, asked[1]);
    q.send({0, 0, 0, 2, 0x0E}, 140 * MS);
    q.send(kMeterB, asked[2]), q.send(kMeterB, asked[3]);
    q.engine.advance(10000 * MS);
    ASSERT_EQ(q.out.size(), 20u);
    std::set<int64_t> draws;
    int64_t lineFree = 0;
    for (int i = 0; i < 4; ++i) {
      const int64_t ready = asked[i] + 5 * T + 3 * MS, pacing = (i ? 2 : 15) * MS, lead = (c.before ? pacing : 0) + T;
      int64_t begin = std::max(ready, lineFree);
      if (c.jitter && begin == ready) {  // not queued: the draw shows in the first byte
        const int64_t drawn = q.out[5 * i].second - lead - begin;
        EXPECT_TRUE(drawn >= 0 && drawn <= c.jitter) << drawn;
        draws.insert(drawn), begin += drawn;
      }
      for (int k = 0; k < 5; ++k) {
        const int64_t sent = begin + lead + k * (T + pacing);
        const int64_t want = c.batch ? (sent + c.batch - 1) / c.batch * c.batch : sent;  // the next batch
        EXPECT_EQ(q.out[5 * i + k].second, want) << i << "." << k << " before=" << c.before << " batch=" << c.batch;
      }
      lineFree = begin + lead + 4 * (T + pacing);
    }
    EXPECT_EQ(draws.size(), c.jitter ? 3u : 0u);  // a new draw each answer
    std::string got;
    for (const auto& o : q.out) got += hexBytes(&o.first, 1);
    EXPECT_EQ(got, garbage.empty() ? garbage = got : garbage);
  }
}

TEST(Engine, OnTheRealClockAnAnswerWokenLateKeepsItsFullPacing) {
  EngineConfig cfg;
  cfg.realClock = true;
  Rig r(cfg);
  r.send(kPacing15, 0);
  r.send(kMeterB, 100 * MS);
  const int64_t start = 100 * MS + 5 * T + 3 * MS;
  r.engine.advance(start + 15 * MS + T);  // the first byte on time, after its pacing
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

TEST(Engine, FramesAreTakenInAtLineSpeedAndAnswersQueueWhileReceivingGoesOn) {
  Rig r, u, v;
  r.send({0x01, 0, 0, 0x03, 0x10, 0x01, 0, 0, 0, 0xFA}, 0);  // two records, then the flags: in at 5 T and 10 T
  r.send({0x00, 0x35, 0x70, 0x00, 0x8A}, 30 * MS);            // in while answering
  r.engine.advance(45 * MS);
  EXPECT_EQ(r.engine.vfobHz(), 7035000);
  r.engine.advance(10000 * MS);
  ASSERT_EQ(r.out.size(), 37u);  // the answer under way was not disturbed
  EXPECT_EQ(r.out[31].second, 5 * T + 3 * MS + 32 * T);
  EXPECT_EQ(r.out[32].second, r.out[31].second + T);  // the flags waited for the line
  // A partial frame is dropped after a pause, but bytes 5 ms apart (as Hamlib writes) make a frame.
  u.send({0x01, 0x00, 0x00}, 0);
  u.send(kMeterB, 100 * MS);
  for (int i = 0; i < 5; ++i) v.send({kMeterB[i]}, i * 5 * MS);
  u.engine.advance(1000 * MS), v.engine.advance(1000 * MS);
  EXPECT_EQ(u.log[0], "t=26.875 event=partial bytes=010000");  // 3 T + 20 ms
  EXPECT_EQ(u.out.size(), 5u);
  EXPECT_EQ(v.out.size(), 5u);
}
