// The built simulator against an independent client: Hamlib's rigctl, model
// 1024 (FT-1000MP), reads VFO-A, sets VFO-B onto a signal and reads both
// receivers' meters; a second run, without a cache, reads VFO-B back.

#include "sim/band.h"
#include "sim/sim_harness.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

TEST(Rigctl, ReadsAndSetsTheSimulatedRadio) {
    ASSERT_EQ(std::system("command -v rigctl >/dev/null"), 0) << "rigctl is missing: scripts/setup.sh installs libhamlib-utils";
    simtest::Sim sim({"--vfoa", "14250000", "--seed", "1"});
    const qv7m::sim::Meter meter(qv7m::sim::builtinBand(), 1);
    std::string printed;
    std::vector<std::string> a, b;
    const std::pair<const char*, std::vector<std::string>*> runs[] = {
        {"f VFOA F VFOB 14254200 l VFOB RAWSTR l VFOA RAWSTR l VFOA STRENGTH", &a}, {"f VFOB", &b}};
    for (const auto& [commands, values] : runs) {
        FILE* p = popen(("rigctl -m 1024 -r " + sim.link + " -s 4800 --vfo " + commands + " 2>&1").c_str(), "r");
        char buf[512];
        while (p && std::fgets(buf, sizeof buf, p)) printed += buf, values->emplace_back(buf, std::strcspn(buf, "\n"));
        if (p) pclose(p);
    }
    ASSERT_EQ(a.size(), 4u) << printed;
    EXPECT_EQ(a[0], "14250000");
    EXPECT_EQ(a[1], std::to_string(meter.reading(14254200)));  // sub receiver, P1 = 01
    EXPECT_EQ(a[2], std::to_string(meter.reading(14250000)));  // main receiver, P1 = 00
    EXPECT_LT(std::abs(std::stoi(a[3])), 70);                  // dB relative to S9
    EXPECT_EQ(b, std::vector<std::string>{"14254200"}) << printed;
}
