// An independent client: Hamlib's rigctl, model 1024 (FT-1000MP), against the
// simulator. What rigctl printed is kept in tests/sim/rigctl-output.txt of the
// build directory.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "sim/band.h"
#include "sim/sim_harness.h"

using namespace simtest;

namespace {

std::string rigctl(const Sim& sim, const std::string& commands) {
  const std::string cmd = "rigctl -m 1024 -r " + sim.link + " -s 4800 --vfo " + commands + " 2>&1";
  std::string out = "$ " + cmd.substr(0, cmd.size() - 5) + "\n";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  out += "[exit " + std::to_string(pclose(p)) + "]\n";
  return out;
}

std::vector<std::string> valueLines(const std::string& out) {
  std::vector<std::string> v;
  size_t pos = out.find('\n') + 1;  // past the command
  for (size_t nl; (nl = out.find('\n', pos)) != std::string::npos; pos = nl + 1)
    if (out[pos] != '[') v.push_back(out.substr(pos, nl - pos));
  return v;
}

}  // namespace

TEST(Rigctl, ReadsAndSetsTheSimulatedRadio) {
  ASSERT_EQ(std::system("command -v rigctl >/dev/null"), 0)
      << "rigctl is missing: scripts/setup.sh installs libhamlib-utils";
  Sim sim({"--vfoa", "14250000", "--seed", "1"});
  const qv7m::sim::Meter meter(qv7m::sim::builtinBand(), 1);

  // VFO-A, then VFO-B set onto a CW signal, and the meters of both receivers.
  const std::string first =
      rigctl(sim, "f VFOA F VFOB 14254200 l VFOB RAWSTR l VFOA RAWSTR l VFOA STRENGTH");
  // A second run has no cache: VFO-B is read back from the radio.
  const std::string second = rigctl(sim, "f VFOB");
  const std::string printed = first + second;
  std::printf("%s", printed.c_str());
  if (const char* dir = std::getenv("QV7M_BUILD_DIR"))
    std::ofstream(std::string(dir) + "/tests/sim/rigctl-output.txt") << printed;

  const auto a = valueLines(first), b = valueLines(second);
  ASSERT_EQ(a.size(), 4u) << first;
  EXPECT_EQ(a[0], "14250000");
  EXPECT_EQ(a[1], std::to_string(meter.reading(14254200)));  // sub receiver, P1 = 01
  EXPECT_EQ(a[2], std::to_string(meter.reading(14250000)));  // main receiver, P1 = 00
  EXPECT_LT(std::abs(std::stoi(a[3])), 70);                  // dB relative to S9
  ASSERT_EQ(b.size(), 1u) << second;
  EXPECT_EQ(b[0], "14254200");

  std::string log;
  for (const auto& l : sim.log()) log += l + "\n";
  EXPECT_NE(log.find("frame=205442018A vfoa=14250000 vfob=14254200 answer=- meter="),
            std::string::npos)
      << log;
}
