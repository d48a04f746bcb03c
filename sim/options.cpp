// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "radio/cat_codec.h"

namespace qv7m::sim {

const char* const kHelpText = R"(Usage: qv7m-radio [options] [LINK]

A simulated Yaesu FT-1000MP on a pseudo-terminal. It makes a symbolic link
LINK (default COM1 in the working directory) to the terminal, answers CAT
frames as the radio does, at the speed of a 4800 baud 8N2 line, and removes
the link when it ends (Ctrl-C, SIGTERM, SIGHUP). When it is ready it prints
  qv7m-radio: ready LINK -> /dev/pts/N

Options:
  --link PATH         where to put the link (same as the LINK argument). An
                      existing link is replaced only if it dangles or points
                      at a pseudo-terminal; anything else is left alone.
  --vfoa HZ           VFO-A, the operator's frequency (default 14250000).
  --vfob HZ           VFO-B at start (default: the same as VFO-A).
  --retune WHEN=HZ[,WHEN=HZ...]
                      the operator retunes VFO-A to HZ at WHEN: seconds since
                      start ("12.5s") or a count of frames received ("400f",
                      after that frame). May be given more than once.
  --band FILE         the band to listen to, instead of the built-in one
                      (CW and SSB signals around 14.250 and 7.035 MHz).
  --seed N            seed of the meter noise, of the fault modes' random
                      bytes and of the jitter (default 1). The meter reading
                      depends only on the VFO frequency, the band and the
                      seed.
  --fading N          each tuning of VFO-B moves its reading by a repeatable
                      draw of up to N meter units either way (default 0: a
                      frequency always reads the same), as signals fade
                      between sweeps.
  --latency MS        time from the end of a request to the start of its
                      answer (default 3).
  --jitter MS         add to each answer's latency a random time from 0 to
                      MS (default 0), drawn from --seed but apart from the
                      faults' random bytes. Answers still come in order,
                      one after the other.
  --pacing MODEL      where the pacing delay (opcode 0E) goes: before
                      (default; before every answer byte, the first too: n
                      bytes take n * (2.292 + N) ms) or between (only between
                      bytes: n * 2.292 + (n - 1) * N ms). Radios differ.
  --batch MS          hand answer bytes over in batches, as a USB-serial
                      adapter's latency timer does (an FTDI adapter: 16): a
                      byte sent at t arrives at the next multiple of MS since
                      start, with all else due by then. 0 (default): at once.
  --resync MS         a partial frame is dropped when nothing more arrives
                      for this long (default 20), so framing recovers.
  --fault MODE        misbehave: silent (never answer), garbage (answers of
                      the right length, random bytes), drop (one byte
                      missing from each answer), extra (one byte too many in
                      each answer), hangup=N (after N frames close the line,
                      remove the link and exit 0, like a pulled cable).
  --log FILE          write one line per frame received ("-": standard
                      output), line-buffered:
      t=MS frame=HEX vfoa=HZ vfob=HZ answer=HEX|- [meter=N] [note=WORD]
                      t: milliseconds since start when the frame was in;
                      answer: what the radio sent or will send for it;
                      meter: on set-VFO-B frames, the reading at the new
                      VFO-B; note: badbcd, range, unknown, silent, garbage,
                      drop, extra. Other lines are t=MS event=WORD ...:
                      start, open and close (the port by another program),
                      partial (a partial frame dropped), lost (answer bytes
                      sent while nobody held the port or left unread when
                      it closed, why=closed, or into a full queue,
                      why=overrun), retune, hangup, stop.
  -h, --help          show this text.

Frames: five bytes P1 P2 P3 P4 opcode. 0A / 8A set VFO-A / VFO-B (packed
BCD, least significant pair first, 10 Hz units; 100 kHz to 30 MHz, others
ignored); 0E pacing, P4 = ms of delay at each answer byte (see --pacing);
10 status: P4 = 01 memory channel (1 byte), 02 current operating data (16),
03 VFO-A and VFO-B (32); F7 meter, P1 = 01 the sub receiver (VFO-B), 00 the
main receiver (VFO-A), 80 and up transmit meters (0): the reading four
times, then F7; FA flags: three flag bytes, then 03 93. 83, 85 and all
others: no answer.

Band file: '#' starts a comment; one signal a line,
  frequency_hz width_hz level
with level the meter reading (0..255) with the signal inside the receive
filter; and optionally
  floor N      reading with no signal (default 24)
  noise N      repeatable noise, +- N (default 3)
  filter HZ    receive filter width (default 2400)
  skirt HZ     from the filter edge to -60 dB (default 600)
)";

namespace {

bool parseInt(const std::string& s, long long lo, long long hi, long long& v) {
    if (s.empty()) return false;
    errno = 0;
    char* end = nullptr;
    v = std::strtoll(s.c_str(), &end, 10);
    return errno == 0 && *end == '\0' && v >= lo && v <= hi;
}

bool parseMs(const std::string& s, double lo, double hi, int64_t& ns) {
    if (s.empty()) return false;
    char* end = nullptr;
    const double v = std::strtod(s.c_str(), &end);
    if (*end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
    ns = std::llround(v * 1e6);
    return true;
}

bool parseHz(const std::string& s, int64_t& hz) {
    long long v;
    if (!parseInt(s, cat::kMinHz, cat::kMaxHz, v)) return false;
    hz = v;
    return true;
}

bool parseRetunes(const std::string& list, std::vector<Retune>& out, std::string& error) {
    std::stringstream items(list);
    std::string item;
    bool any = false;
    while (std::getline(items, item, ',')) {
        any = true;
        const auto eq = item.find('=');
        Retune r;
        if (eq == std::string::npos || eq == 0) {
            error = "--retune: expected WHEN=HZ, got '" + item + "'";
            return false;
        }
        const std::string when = item.substr(0, eq - 1), unit = item.substr(eq - 1, 1);
        if (unit == "s") {
            if (!parseMs(when, 0, 1e9, r.atNs)) {
                error = "--retune: bad time '" + item.substr(0, eq) + "'";
                return false;
            }
            r.atNs *= 1000;  // parsed as ms, given in seconds
        } else if (unit == "f") {
            long long n;
            if (!parseInt(when, 1, 1LL << 62, n)) {
                error = "--retune: bad frame count '" + item.substr(0, eq) + "'";
                return false;
            }
            r.byFrames = true;
            r.atFrames = static_cast<uint64_t>(n);
        } else {
            error = "--retune: WHEN needs 's' (seconds) or 'f' (frames): '" + item.substr(0, eq) + "'";
            return false;
        }
        if (!parseHz(item.substr(eq + 1), r.hz)) {
            error = "--retune: bad frequency '" + item.substr(eq + 1) + "' (Hz, 100000..30000000)";
            return false;
        }
        out.push_back(r);
    }
    if (!any) {
        error = "--retune: empty list";
        return false;
    }
    return true;
}

bool parseFault(const std::string& m, EngineConfig& e) {
    if (m == "silent")
        e.fault = Fault::Silent;
    else if (m == "garbage")
        e.fault = Fault::Garbage;
    else if (m == "drop")
        e.fault = Fault::Drop;
    else if (m == "extra")
        e.fault = Fault::Extra;
    else if (m.rfind("hangup=", 0) == 0) {
        long long n;
        if (!parseInt(m.substr(7), 1, 1LL << 62, n)) return false;
        e.fault = Fault::Hangup;
        e.hangupAfter = static_cast<uint64_t>(n);
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool parseOptions(int argc, const char* const* argv, Options& o, std::string& error) {
    bool linkGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i], value;
        bool hasValue = false;
        if (arg.rfind("--", 0) == 0) {
            const auto eq = arg.find('=');
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
                hasValue = true;
            }
        }
        if (arg == "-h" || arg == "--help") {
            if (hasValue) {
                error = "--help takes no value";
                return false;
            }
            o.help = true;
            continue;
        }
        if (arg.empty() || arg[0] != '-' || arg == "-") {
            if (linkGiven) {
                error = "more than one link path: '" + arg + "'";
                return false;
            }
            o.link = arg;
            linkGiven = true;
            continue;
        }
        static const char* const withValue[] = {"--link",  "--vfoa",   "--vfob",    "--retune", "--band",
                                                "--seed",  "--fading", "--latency", "--jitter", "--pacing",
                                                "--batch", "--resync", "--fault",   "--log"};
        bool known = false;
        for (const char* k : withValue) known = known || arg == k;
        if (!known) {
            error = "unknown option '" + arg + "'";
            return false;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        if (arg == "--link") {
            if (linkGiven || value.empty()) {
                error = value.empty() ? "--link: empty path" : "more than one link path: '" + value + "'";
                return false;
            }
            o.link = value;
            linkGiven = true;
        } else if (arg == "--vfoa" || arg == "--vfob") {
            int64_t hz;
            if (!parseHz(value, hz)) {
                error = arg + ": '" + value + "' is not a frequency in Hz from 100000 to 30000000";
                return false;
            }
            if (arg == "--vfoa") {
                o.engine.vfoaHz = hz;
            } else {
                o.engine.vfobHz = hz;
                o.vfobGiven = true;
            }
        } else if (arg == "--retune") {
            if (!parseRetunes(value, o.engine.retunes, error)) return false;
        } else if (arg == "--band") {
            if (value.empty()) {
                error = "--band: empty file name";
                return false;
            }
            o.bandFile = value;
        } else if (arg == "--seed") {
            errno = 0;
            char* end = nullptr;
            const unsigned long long s = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || value[0] == '-' || *end != '\0' || errno != 0) {
                error = "--seed: '" + value + "' is not a whole number";
                return false;
            }
            o.engine.seed = s;
        } else if (arg == "--fading") {
            char* end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 0 || n > 100) {
                error = "--fading: '" + value + "' is not a whole number from 0 to 100";
                return false;
            }
            o.engine.fading = int(n);
        } else if (arg == "--latency") {
            if (!parseMs(value, 0, 10000, o.engine.latencyNs)) {
                error = "--latency: '" + value + "' is not a time in ms from 0 to 10000";
                return false;
            }
        } else if (arg == "--jitter") {
            if (!parseMs(value, 0, 10000, o.engine.jitterNs)) {
                error = "--jitter: '" + value + "' is not a time in ms from 0 to 10000";
                return false;
            }
        } else if (arg == "--pacing") {
            if (value != "before" && value != "between") {
                error = "--pacing: '" + value + "' is not before or between";
                return false;
            }
            o.engine.paceBeforeFirstByte = value == "before";
        } else if (arg == "--batch") {
            if (!parseMs(value, 0, 1000, o.engine.batchNs)) {
                error = "--batch: '" + value + "' is not a time in ms from 0 to 1000";
                return false;
            }
        } else if (arg == "--resync") {
            if (!parseMs(value, 1, 60000, o.engine.resyncNs)) {
                error = "--resync: '" + value + "' is not a time in ms from 1 to 60000";
                return false;
            }
        } else if (arg == "--fault") {
            if (!parseFault(value, o.engine)) {
                error = "--fault: '" + value + "' is not silent, garbage, drop, extra or hangup=N (N >= 1)";
                return false;
            }
        } else if (arg == "--log") {
            if (value.empty()) {
                error = "--log: empty file name";
                return false;
            }
            o.logFile = value;
        }
    }
    if (!o.vfobGiven) o.engine.vfobHz = o.engine.vfoaHz;
    return true;
}

}  // namespace qv7m::sim
