// The band and the meter reading it gives.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/band.h"

using namespace qv7m::sim;

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
