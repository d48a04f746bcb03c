// SPDX-License-Identifier: GPL-3.0-or-later
// The rigctld protocol against any bytes from four clients in any interleaving:
// each client's bytes go through its own line splitter, each line through the
// command executor, against a radio that records what it is asked. The input
// is a run of chunks: a header byte (bits 0-1 the client, bit 2 the radio's
// port unusable, bit 3 the radio not answering, bit 4 no meter reading yet), a
// length byte, then that many of the client's bytes. What is checked is this
// file's own statement of the protocol, never the executor's code:
//
// Lines. A line is a client's bytes up to a LF, less one CR before it. Up to
// 1024 bytes, it comes out at its LF unless it is all whitespace (space, tab,
// CR, VT, FF); a longer one comes out once, empty, at its 1025th byte.
//
// Commands. A line is valid when it is printable ASCII or tabs and, split on
// spaces and tabs, is an optional extended-response prefix (punctuation other
// than \ ? _ #), a word of kCommands (its letter, or a backslash and its long
// name), and exactly its number of arguments. Only a valid command asks the
// radio for anything, and only for its own operation, once, while the radio's
// port is usable; set_freq only for a frequency the radio tunes, rounded.
//
// Replies, with n the code the outcome calls for (0, -1 invalid, -6 I/O error,
// -9 rejected, -11 not available): "RPRT -1\n" for an unprintable or overlong
// line, "RPRT -11\n" for an unknown word. Plain form: the values, each ended
// by "\n", when n is 0 and the command has values, else "RPRT n\n". Extended
// form with separator s ('+': a newline): the long name, ":", " " and each
// argument as sent, s; when n is 0 each value as "Label: value" (a level and
// dump_state unlabelled) and s; then "RPRT n\n". dump_state's value is Hamlib's
// version and model, the radio's receive and transmit range, ... and "done".
// The client is let go after the reply exactly when the word is quit's.

#include "fuzz_common.h"
#include "radio/cat_codec.h"
#include "sharing/rigctl_protocol.h"

#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace qv7m;

namespace {

struct Command {
    char shortName;  // 0: the long form only
    const char* longName;
    size_t args;
    char op;         // what it asks the radio: f, F, m, l; 0 nothing
    bool needsPort;  // an I/O error while the radio's port is unusable
    // A success's values, each with its label ("": none) in the extended form.
    std::vector<std::pair<const char*, const char*>> values;
};

const char* const kDumpStateHead =
    "1\n1024\n0\n100000.000000 30000000.000000 0xc3f -1 -1 0x1 0x1\n0 0 0 0 0 0 0\n"
    "100000.000000 30000000.000000 0xc3f 5000 100000 0x1 0x1\n";

const Command kCommands[] = {
    {'f', "get_freq", 0, 'f', true, {{"Frequency", "14252470"}}},
    {'F', "set_freq", 1, 'F', true, {}},
    {'m', "get_mode", 0, 'm', true, {{"Mode", "USB"}, {"Passband", "0"}}},
    {'l', "get_level", 1, 'l', true, {{"", "-12"}}},
    {'v', "get_vfo", 0, 0, false, {{"VFO", "VFOA"}}},
    {'V', "set_vfo", 1, 0, false, {}},
    {'s', "get_split_vfo", 0, 0, false, {{"Split", "0"}, {"TX VFO", "VFOA"}}},
    {'S', "set_split_vfo", 2, 0, false, {}},
    {'t', "get_ptt", 0, 0, false, {{"PTT", "0"}}},
    {0, "chk_vfo", 0, 0, false, {{"ChkVFO", "0"}}},
    {0, "dump_state", 0, 0, false, {{"", kDumpStateHead}}},  // checked up to here and by its end
    {0, "get_powerstat", 0, 0, true, {{"Power Status", "1"}}},
    {'q', "quit", 0, 0, false, {}},
    {'Q', "quit", 0, 0, false, {}},
};

// The radio as the fuzzer sets it up, recording what it is asked.
struct RecordingRig : RigAccess {
    bool portUsable = true;
    bool answers = true;
    bool meterRead = true;
    std::vector<std::pair<char, int64_t>> asked;
    bool ask(char op, int64_t hz, bool answered) {
        asked.emplace_back(op, hz);
        return answered;
    }
    bool available() override { return portUsable; }
    std::optional<int64_t> frequencyHz() override {
        return ask('f', 0, answers) ? std::optional<int64_t>(14252470) : std::nullopt;
    }
    bool setFrequencyHz(int64_t hz) override { return ask('F', hz, answers); }
    std::optional<QString> mode() override {
        return ask('m', 0, answers) ? std::optional<QString>("USB") : std::nullopt;
    }
    std::optional<int> strengthDb() override { return ask('l', 0, meterRead) ? std::optional<int>(-12) : std::nullopt; }
};

// A plain decimal number, the form loggers send: its value; else nothing known.
std::optional<double> decimal(const std::string& s) {
    const bool plain = !s.empty() && s[0] != '.' && s.size() <= 16 &&
                       s.find_first_not_of("0123456789.") == std::string::npos && s.find('.') == s.rfind('.');
    if (!plain) return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

// Checks one line's reply and what the radio was asked for it.
void check(const std::string& line, const RecordingRig& rig, const rigctl::Reply& reply) {
    const std::string out(reply.bytes.constData(), size_t(reply.bytes.size()));
#define EXPECT(cond) FUZZ_CHECK(cond, "\"%s\" answered \"%s\"", line.c_str(), out.c_str())
    bool printable = !line.empty();
    for (char b : line) printable = printable && ((b >= 0x20 && b <= 0x7e) || b == '\t');
    std::vector<std::string> words;
    std::string word;
    for (char b : line + ' ') {
        if (b != ' ' && b != '\t') {
            word += b;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    // The prefix, then the command's word.
    char sep = 0;
    if (printable && !words.empty() && std::ispunct(static_cast<unsigned char>(words[0][0])) &&
        !std::strchr("\\?_#", words[0][0])) {
        sep = words[0][0] == '+' ? '\n' : words[0][0];
        words[0].erase(0, 1);
        if (words[0].empty()) words.erase(words.begin());
    }
    const Command* c = nullptr;
    for (const Command& command : kCommands) {
        const std::string name = printable && !words.empty() ? words[0] : std::string();
        if (name == std::string(1, command.shortName) || name == std::string("\\") + command.longName) c = &command;
    }
    EXPECT(reply.quit == (c && std::strcmp(c->longName, "quit") == 0));
    if (!printable || !c) {
        EXPECT(rig.asked.empty());
        EXPECT(out == (printable ? "RPRT -11\n" : "RPRT -1\n"));
        return;
    }
    const std::vector<std::string> args(words.begin() + 1, words.end());

    // The code the outcome calls for, and what the radio is asked.
    const bool valid = args.size() == c->args;
    int code = !valid ? rigctl::kInvalid : c->needsPort && !rig.portUsable ? rigctl::kIoError : 0;
    char op = code == 0 ? c->op : 0;
    int64_t hz = 0;
    if (op == 'l' && args[0] != "STRENGTH") {
        op = 0;
        code = rigctl::kNotAvailable;
    }
    if (op == 'F') {
        const std::optional<double> asked = decimal(args[0]);
        // Whatever else the executor takes for a number: only a frequency the radio tunes.
        if (!asked && !rig.asked.empty()) EXPECT(cat::tunableHz(rig.asked[0].second));
        hz = asked ? std::llround(*asked) : rig.asked.empty() ? 0 : rig.asked[0].second;
        const bool tunable = asked ? *asked >= double(cat::kMinHz) && *asked <= double(cat::kMaxHz) : hz != 0;
        op = tunable ? op : 0;
        code = tunable ? 0 : rigctl::kInvalid;
    }
    if (op) code = (op == 'l' ? rig.meterRead : rig.answers) ? 0 : rigctl::kIoError;
    if (valid && std::strcmp(c->longName, "set_vfo") == 0 && args[0] != "VFOA") code = rigctl::kInvalid;
    if (valid && std::strcmp(c->longName, "set_split_vfo") == 0 && args[0] != "0") code = rigctl::kRejected;
    EXPECT(rig.asked.size() == (op ? 1u : 0u));
    EXPECT(rig.asked.empty() || rig.asked[0].first == op);
    EXPECT(rig.asked.empty() || rig.asked[0].second == hz);

    // The reply, whole.
    std::string expected;
    if (sep) {
        expected = std::string(c->longName) + ":";
        for (const std::string& a : args) expected += " " + a;
        expected += sep;
    }
    const bool values = code == 0 && !c->values.empty();
    if (values && c->values[0].second == kDumpStateHead) {
        expected += kDumpStateHead;
        const std::string end = std::string("\ndone") + (sep ? sep : '\n') + (sep ? "RPRT 0\n" : "");
        EXPECT(out.compare(0, expected.size(), expected) == 0);
        EXPECT(out.size() > expected.size() + end.size());
        EXPECT(out.compare(out.size() - end.size(), end.size(), end) == 0);
        return;
    }
    for (size_t i = 0; values && i < c->values.size(); ++i) {
        if (sep && *c->values[i].first) expected += std::string(c->values[i].first) + ": ";
        expected += std::string(c->values[i].second) + (sep ? sep : '\n');
    }
    if (sep || !values) expected += "RPRT " + std::to_string(code) + "\n";
    FUZZ_CHECK(out == expected, "\"%s\" answered \"%s\", not \"%s\"", line.c_str(), out.c_str(), expected.c_str());
#undef EXPECT
}

// One client's line so far, as this file states the line rules.
struct Client {
    rigctl::LineSplitter splitter;
    std::string raw;  // up to its 1025th byte
    bool cutOff = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<Client, 4> clients;
    RecordingRig rig;
    for (size_t at = 0; at + 2 <= size;) {
        const uint8_t header = data[at];
        const size_t end = at + 2 + std::min<size_t>(data[at + 1], size - at - 2);
        Client& client = clients[header & 3];
        rig.portUsable = !(header & 4);
        rig.answers = !(header & 8);
        rig.meterRead = !(header & 16);
        for (at += 2; at < end; ++at) {
            const char byte = char(data[at]);
            const std::optional<QByteArray> line = client.splitter.take(byte);
            std::optional<std::string> expected;  // the line that should come out now
            if (byte == '\n') {
                std::string text = client.raw;
                if (!text.empty() && text.back() == '\r') text.pop_back();
                if (!client.cutOff && text.find_first_not_of(" \t\r\v\f") != std::string::npos) expected = text;
                client.raw.clear();
                client.cutOff = false;
            } else if (!client.cutOff) {
                client.raw += byte;
                client.cutOff = client.raw.size() > size_t(rigctl::kMaxLineBytes);
                if (client.cutOff) expected = std::string();
            }
            FUZZ_CHECK(bool(line) == bool(expected), "a line %s out", line ? "came" : "did not come");
            if (!line) continue;
            FUZZ_CHECK(line->toStdString() == *expected, "the line came out as \"%s\"", line->constData());
            rig.asked.clear();
            check(*expected, rig, rigctl::execute(rig, *line));
        }
    }
    return 0;
}
