// An independent client: Hamlib's rigctl, model 1024 (FT-1000MP), against the
// simulator. What rigctl printed is kept in tests/sim/rigctl-output.txt of the
// build directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "sim/band.h"
#include "sim/sim_harness.h"

using namespace simtest;

namespace {

// What rigctl printed, the command first; and the value lines alone.
std::string rigctl(const Sim& sim, const std::string& commands, std::vector<std::string>& values) {
  const std::string cmd = "rigctl -m 1024 -r " + sim.link + " -s 4800 --vfo " + commands;
  std::string out = "$ " + cmd + "\n";
  FILE* p = popen((cmd + " 2>&1").c_str(), "r");
  char buf[512];
  while (p && std::fgets(buf, sizeof buf, p)) {
    out += buf;
    values.emplace_back(buf, std::strcspn(buf, "\n"));
  }
  return out + "[exit " + std::to_string(p ? pclose(p) : -1) + "]\n";
}

}  // namespace

TEST(Rigctl, ReadsAndSetsTheSimulatedRadio) {
  ASSERT_EQ(std::system("command -v rigctl >/dev/null"), 0)
      << "rigctl is missing: scripts/setup.sh installs libhamlib-utils";
  Sim sim({"--vfoa", "14250000", "--seed", "1"});
  const qv7m::sim::Meter meter(qv7m::sim::builtinBand(), 1);
  // VFO-A, then VFO-B set onto a CW signal, and the meters of both receivers;
  // then a second run, which has no cache: VFO-B is read back from the radio.
  std::vector<std::string> a, b;
  std::string printed = rigctl(sim, "f VFOA F VFOB 14254200 l VFOB RAWSTR l VFOA RAWSTR l VFOA STRENGTH", a);
  printed += rigctl(sim, "f VFOB", b);
  std::printf("%s", printed.c_str());
  if (const char* dir = std::getenv("QV7M_BUILD_DIR"))
    std::ofstream(std::string(dir) + "/tests/sim/rigctl-output.txt") << printed;

  ASSERT_EQ(a.size(), 4u) << printed;
  EXPECT_EQ(a[0], "14250000");
  EXPECT_EQ(a[1], std::to_string(meter.reading(14254200)));  // sub receiver, P1 = 01
  EXPECT_EQ(a[2], std::to_string(meter.reading(14250000)));  // main receiver, P1 = 00
  EXPECT_LT(std::abs(std::stoi(a[3])), 70);                  // dB relative to S9
  ASSERT_EQ(b, std::vector<std::string>{"14254200"}) << printed;
  std::string log;
  for (const auto& l : sim.log()) log += l + "\n";
  EXPECT_NE(log.find("frame=205442018A vfoa=14250000 vfob=14254200 answer=- meter="), std::string::npos) << log;
}
