// SPDX-License-Identifier: GPL-3.0-or-later
// How closely the radio simulator keeps the line's timing, and what it costs; prints figures,
// asserts nothing. Runs the built qv7m-radio, or the one QV7M_SIM names.
#include "sim_port.h"

#include <unistd.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

using namespace simtest;

constexpr double kByteMs = 11.0 / 4.8;

static double cpuMs(pid_t pid) {
    clockid_t clock;
    timespec t{};
    if (clock_getcpuclockid(pid, &clock) != 0 || clock_gettime(clock, &t) != 0) return -1;
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main() {
    setenv("QV7M_SIM", QV7M_SIM_PATH, 0);
    Sim sim;
    Port port(sim.link);
    const Bytes meter = {0x01, 0, 0, 0, 0xF7}, pace0 = {0, 0, 0, 0, 0x0E}, follow = {0, 0, 0, 15, 0x0E};

    // 1. Single meter requests: lateness of the last answer byte against the model.
    port.send(pace0);
    usleep(50000);
    std::vector<double> late;
    for (int i = 0; i < 200; ++i) {
        const double t0 = nowMs();
        port.send(meter);
        const auto rx = port.read(5, 1000);
        if (rx.bytes.size() != 5) {
            std::printf("request %d: %zu bytes\n", i, rx.bytes.size());
            return 1;
        }
        late.push_back(rx.at.back() - t0 - (10 * kByteMs + 3));
    }
    std::sort(late.begin(), late.end());
    std::printf(
        "meter answer, 200 requests: last byte later than the model by min %.2f, median %.2f, "
        "p99 %.2f, max %.2f ms\n",
        late.front(), late[100], late[198], late.back());

    // 2. Sweep steps as the band scope's link sends them (set VFO-B, meter, 5 follow-ups), all at once.
    const int steps = 101;
    Bytes all;
    for (int s = 0; s < steps; ++s) {
        const Bytes setB = {0x00, static_cast<uint8_t>(0x40 + s % 10), 0x42, 0x01, 0x8A};
        for (const Bytes* f : {&setB, &meter, &follow, &follow, &follow, &follow, &follow})
            all.insert(all.end(), f->begin(), f->end());
    }
    const double cpu0 = cpuMs(sim.pid), t0 = nowMs();
    port.send(all);
    const auto rx = port.read(5 * steps, 30000);
    const double took = rx.at.empty() ? 0 : rx.at.back() - t0, cpu = cpuMs(sim.pid) - cpu0;
    // Each meter request is in 10 bytes into its step; its answer starts 3 ms later or when the one
    // before ends, with 15 ms pacing before every byte (none before the first follow-up is in). At
    // 86.5 ms an answer takes longer than a step's 80.2 ms on the line, so the answers queue.
    double model = 0;
    for (int s = 0; s < steps; ++s) model = std::max((s * 35 + 10) * kByteMs + 3, model) + 5 * (kByteMs + (s ? 15 : 0));
    std::printf(
        "sweep of %d steps: %zu answer bytes in %.1f ms (model %.1f), %.2f ms a step; "
        "simulator processor time %.0f ms (%.2f ms a step)\n",
        steps, rx.bytes.size(), took, model, took / steps, cpu, cpu / steps);

    const double idle0 = cpuMs(sim.pid);  // 3. Idle.
    sleep(5);
    std::printf("idle 5 s with the port held: %.0f ms processor time\n", cpuMs(sim.pid) - idle0);
    return 0;
}
