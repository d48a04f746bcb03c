// SPDX-License-Identifier: GPL-3.0-or-later
#include "sharing/rigctl_protocol.h"

#include "radio/cat_codec.h"

#include <QList>
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

namespace qv7m::rigctl {
namespace {

// A receiver and transmitter over the range the radio tunes.
QByteArray rangeLine(const char* rest) {
    return QByteArray::number(double(cat::kMinHz), 'f', 6) + ' ' + QByteArray::number(double(cat::kMaxHz), 'f', 6) +
           ' ' + rest + '\n';
}

// What Hamlib's network client reads on connecting: the receive and transmit
// range, LSB USB CW AM FM RTTY PKTLSB PKTUSB (mode mask 0xc3f: the radio's
// packet mode may be either side) on VFO-A, 10 Hz steps, no functions,
// STRENGTH as the only level. The model is Hamlib's number for the FT-1000MP.
// No VFO is targetable and there is no set_vfo, so Hamlib's client asks for
// VFO-B nothing at all rather than switching to it (it would believe the
// switch even once refused).
QByteArray makeDumpState() {
    return "1\n"     // protocol version
           "1024\n"  // rig model
           "0\n"     // ITU region
           + rangeLine("0xc3f -1 -1 0x1 0x1") + "0 0 0 0 0 0 0\n" + rangeLine("0xc3f 5000 100000 0x1 0x1") +
           "0 0 0 0 0 0 0\n"
           "0xc3f 10\n"
           "0 0\n"
           "0 0\n"                                  // no filter list
           "0\n0\n0\n0\n"                           // RIT, XIT, IF shift, announcements
           "\n\n"                                   // no preamplifier, no attenuator
           "0x0\n0x0\n0x40000000\n0x0\n0x0\n0x0\n"  // functions, levels, parameters (get, set)
           "vfo_ops=0x0\nptt_type=0x0\ntargetable_vfo=0x0\n"
           "has_set_vfo=0\nhas_get_vfo=1\nhas_set_freq=1\nhas_get_freq=1\n"
           "has_set_conf=0\nhas_get_conf=0\nhas_power2mW=0\nhas_mW2power=0\n"
           "timeout=1500\n"  // ms; a reply waits for the sweep step in progress and a status read
           "done";
}

using Args = QList<QByteArray>;

struct Result {
    int code = kOk;
    std::vector<std::pair<const char*, QByteArray>> values;  // label, value
};

Result failed(int code) { return Result{code, {}}; }
Result value(const char* label, const QByteArray& text) { return Result{kOk, {{label, text}}}; }

Result getFrequency(RigAccess& rig, const Args&) {
    const std::optional<int64_t> hz = rig.frequencyHz();
    return hz ? value("Frequency", QByteArray::number(qlonglong(*hz))) : failed(kIoError);
}

Result setFrequency(RigAccess& rig, const Args& args) {
    bool number = false;
    const double hz = args[0].toDouble(&number);
    // Written so that NaN fails it too.
    if (!number || !(hz >= double(cat::kMinHz) && hz <= double(cat::kMaxHz))) return failed(kInvalid);
    return failed(rig.setFrequencyHz(std::llround(hz)) ? kOk : kIoError);
}

Result getMode(RigAccess& rig, const Args&) {
    const std::optional<QString> mode = rig.mode();
    if (!mode) return failed(kIoError);
    return Result{kOk, {{"Mode", mode->toLatin1()}, {"Passband", "0"}}};
}

Result getLevel(RigAccess& rig, const Args& args) {
    if (args[0] != "STRENGTH") return failed(kNotAvailable);
    const std::optional<int> db = rig.strengthDb();
    // rigctld prints a level's value without a label.
    return db ? value("", QByteArray::number(*db)) : failed(kIoError);
}

struct CommandSpec {
    char shortName;  // 0: only the long form
    const char* longName;
    int argCount;
    bool needsRadio;  // answered with an I/O error while the radio's port is unusable
    bool closes;
    Result (*run)(RigAccess&, const Args&);
};

// VFO-B is the scope's sweep VFO, so clients see VFO-A only and split is off.
const CommandSpec kCommands[] = {
    {'f', "get_freq", 0, true, false, getFrequency},
    {'F', "set_freq", 1, true, false, setFrequency},
    {'m', "get_mode", 0, true, false, getMode},
    {'l', "get_level", 1, true, false, getLevel},
    {'v', "get_vfo", 0, false, false, [](RigAccess&, const Args&) { return value("VFO", "VFOA"); }},
    {'V', "set_vfo", 1, false, false,
     [](RigAccess&, const Args& args) { return failed(args[0] == "VFOA" ? kOk : kInvalid); }},
    {'s', "get_split_vfo", 0, false, false,
     [](RigAccess&, const Args&) {
         return Result{kOk, {{"Split", "0"}, {"TX VFO", "VFOA"}}};
     }},
    // Split off is how things stand already; split on would hand VFO-B over.
    {'S', "set_split_vfo", 2, false, false,
     [](RigAccess&, const Args& args) { return failed(args[0] == "0" ? kOk : kRejected); }},
    {'t', "get_ptt", 0, false, false, [](RigAccess&, const Args&) { return value("PTT", "0"); }},
    {0, "chk_vfo", 0, false, false, [](RigAccess&, const Args&) { return value("ChkVFO", "0"); }},
    {0, "dump_state", 0, false, false, [](RigAccess&, const Args&) { return value("", dumpState()); }},
    {0, "get_powerstat", 0, true, false, [](RigAccess&, const Args&) { return value("Power Status", "1"); }},
    {'q', "quit", 0, false, true, [](RigAccess&, const Args&) { return failed(kOk); }},
    {'Q', "quit", 0, false, true, [](RigAccess&, const Args&) { return failed(kOk); }},
};

const CommandSpec* find(const QByteArray& word) {
    for (const CommandSpec& spec : kCommands) {
        if (word.startsWith('\\') ? word.mid(1) == spec.longName
                                  : word.size() == 1 && spec.shortName && word[0] == spec.shortName)
            return &spec;
    }
    return nullptr;
}

bool printable(const QByteArray& line) {
    return std::all_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte >= 0x20 && byte < 0x7f) || byte == '\t';
    });
}

}  // namespace

QByteArray dumpState() {
    static const QByteArray text = makeDumpState();
    return text;
}

Reply execute(RigAccess& rig, const QByteArray& line) {
    QByteArray text = line.trimmed();
    // An overlong line (left empty) or one with bytes no command has never
    // reaches the radio.
    if (text.isEmpty() || !printable(line)) return Reply{"RPRT -1\n", false};
    // A leading punctuation character asks for the extended response, its
    // records ended by that character ('+': by newlines).
    char separator = 0;
    if (std::ispunct(static_cast<unsigned char>(text[0])) && !std::strchr("\\?_#", text[0])) {
        separator = text[0] == '+' ? '\n' : text[0];
        text.remove(0, 1);
    }
    const Args words = text.simplified().split(' ');
    const Args args = words.mid(1);
    const CommandSpec* spec = find(words[0]);
    Result result;
    if (!spec)
        result = failed(kNotAvailable);
    else if (args.size() != spec->argCount)
        result = failed(kInvalid);
    else if (spec->needsRadio && !rig.available())
        result = failed(kIoError);
    else
        result = spec->run(rig, args);

    Reply reply;
    reply.quit = spec && spec->closes;
    QByteArray& out = reply.bytes;
    if (separator && spec) {
        out = spec->longName + QByteArray(":");
        for (const QByteArray& arg : args) out += ' ' + arg;
        out += separator;
    }
    for (const auto& [label, shown] : result.values) {
        if (separator && *label) out += QByteArray(label) + ": ";
        out += shown;
        out += separator ? separator : '\n';
    }
    if (separator || result.values.empty()) out += "RPRT " + QByteArray::number(result.code) + '\n';
    return reply;
}

std::optional<QByteArray> LineSplitter::take(char byte) {
    if (byte == '\n') {
        QByteArray line = std::exchange(partial_, QByteArray());
        if (line.endsWith('\r')) line.chop(1);
        const bool wasDiscarding = std::exchange(discarding_, false);
        if (wasDiscarding || line.trimmed().isEmpty()) return std::nullopt;
        return line;
    }
    if (discarding_) return std::nullopt;
    if (partial_.size() < kMaxLineBytes) {
        partial_ += byte;
        return std::nullopt;
    }
    // No command is this long: answer it with an error once and throw the
    // rest of it away up to the next newline.
    partial_ = QByteArray();
    discarding_ = true;
    return QByteArray();
}

}  // namespace qv7m::rigctl
