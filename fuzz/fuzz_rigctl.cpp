// The rigctld protocol against any bytes from four clients in any
// interleaving: each client's bytes go through its own line splitter, each
// line through the command executor, against a radio that records what it is
// asked. The input is a run of chunks: a header byte (bits 0-1 the client,
// bit 2 the radio's port unusable, bit 3 the radio not answering, bit 4 no
// meter reading yet), a length byte, then that many of the client's bytes.
//
// What is checked comes from this file's own statement of the protocol (the
// table and the rules below), never from the executor's code:
//
// Lines. A client's line is its bytes up to a LF, less one CR before the LF.
// A line of up to 1024 bytes comes out at its LF as it is, unless it is all
// whitespace (space, tab, CR, VT, FF): then nothing comes out. A longer line
// comes out once, as an empty line, when its 1025th byte arrives, and nothing
// more of it.
//
// Valid commands. A line is valid when it is not empty, every byte is
// printable ASCII or a tab, and, split on spaces and tabs, it is an optional
// extended-response prefix (a punctuation character other than \ ? _ #),
// then a word of kCommands (the one-letter name, or a backslash and the long
// name), then exactly that command's number of arguments. Nothing else (an
// overlong or blank line, another byte, an unknown word, a wrong count of
// arguments) asks the radio for anything: no frequencyHz, setFrequencyHz,
// mode or strengthDb. A valid command asks for its own operation once and
// nothing else, only when the radio's port is usable, and set_freq only for
// a frequency the radio tunes: the argument rounded to the hertz.
//
// Well-formed replies. Each reply is exactly the one below. n is one of
// Hamlib's codes the server uses: 0, -1 (invalid), -6 (I/O error), -9
// (rejected), -11 (not available), the one the command's outcome calls for.
// - A line with another byte, or an overlong one: "RPRT -1\n".
// - An unknown command word, in either form: "RPRT -11\n".
// - The plain form: when n is 0 and the command has values, its values, each
//   followed by "\n"; otherwise "RPRT n\n".
// - The extended form, with separator s (the prefix; a newline for '+'): the
//   long name and ":", a space and each argument as sent, s; then when n is 0
//   each value as a record, "Label: value" (a level's and dump_state's value
//   without a label) and s; then "RPRT n\n": the report ends with a newline,
//   whatever the separator, as in Hamlib's own rigctld.
// - dump_state's value begins with the protocol version and the model
//   ("1\n1024\n") and ends with "\ndone".
// The client is let go after the reply exactly when the word is quit's.

#include "fuzz_common.h"
#include "radio/cat_codec.h"
#include "sharing/rigctl_protocol.h"

#include <QList>
#include <array>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace qv7m;

namespace {

enum class Op { None, Frequency, SetFrequency, Mode, Strength };

// The radio's answers, as the fake below gives them.
constexpr int64_t kRadioHz = 14074000;
constexpr int kRadioDb = -12;

struct Command {
    char shortName;  // 0: the long form only
    const char* longName;
    int args;
    Op op;
    bool needsPort;  // an I/O error while the radio's port is unusable
    // A success's values, each with its label ("": none) in the extended form.
    std::vector<std::pair<const char*, const char*>> values;
};

const Command kCommands[] = {
    {'f', "get_freq", 0, Op::Frequency, true, {{"Frequency", "14074000"}}},
    {'F', "set_freq", 1, Op::SetFrequency, true, {}},
    {'m', "get_mode", 0, Op::Mode, true, {{"Mode", "USB"}, {"Passband", "0"}}},
    {'l', "get_level", 1, Op::Strength, true, {{"", "-12"}}},
    {'v', "get_vfo", 0, Op::None, false, {{"VFO", "VFOA"}}},
    {'V', "set_vfo", 1, Op::None, false, {}},
    {'s', "get_split_vfo", 0, Op::None, false, {{"Split", "0"}, {"TX VFO", "VFOA"}}},
    {'S', "set_split_vfo", 2, Op::None, false, {}},
    {'t', "get_ptt", 0, Op::None, false, {{"PTT", "0"}}},
    {0, "chk_vfo", 0, Op::None, false, {{"ChkVFO", "0"}}},
    {0, "dump_state", 0, Op::None, false, {{"", nullptr}}},  // checked by its first and last lines
    {0, "get_powerstat", 0, Op::None, true, {{"Power Status", "1"}}},
    {'q', "quit", 0, Op::None, false, {}},
    {'Q', "quit", 0, Op::None, false, {}},
};

// The radio as the fuzzer sets it up, recording what it is asked.
struct RecordingRig : RigAccess {
    bool portUsable = true;
    bool answers = true;
    bool meterRead = true;
    std::vector<std::pair<Op, int64_t>> asked;

    bool available() override { return portUsable; }
    std::optional<int64_t> frequencyHz() override {
        asked.emplace_back(Op::Frequency, 0);
        return answers ? std::optional<int64_t>(kRadioHz) : std::nullopt;
    }
    bool setFrequencyHz(int64_t hz) override {
        asked.emplace_back(Op::SetFrequency, hz);
        return answers;
    }
    std::optional<QString> mode() override {
        asked.emplace_back(Op::Mode, 0);
        return answers ? std::optional<QString>(QStringLiteral("USB")) : std::nullopt;
    }
    std::optional<int> strengthDb() override {
        asked.emplace_back(Op::Strength, 0);
        return meterRead ? std::optional<int>(kRadioDb) : std::nullopt;
    }
};

bool blank(char c) { return c == ' ' || c == '\t'; }

struct Parsed {
    bool printable = true;
    char separator = 0;  // 0: plain form
    const Command* command = nullptr;
    std::vector<std::string> words;
};

Parsed parse(const std::string& line) {
    Parsed p;
    for (char c : line) {
        const auto b = static_cast<unsigned char>(c);
        if (!((b >= 0x20 && b <= 0x7e) || c == '\t')) p.printable = false;
    }
    if (line.empty() || !p.printable) {
        p.printable = false;
        return p;
    }
    size_t from = 0;
    while (from < line.size() && blank(line[from])) ++from;
    static const std::string kPunctuation = "!\"$%&'()*+,-./:;<=>@[]^`{|}~";  // less \ ? _ #
    if (from < line.size() && kPunctuation.find(line[from]) != std::string::npos) {
        p.separator = line[from] == '+' ? '\n' : line[from];
        ++from;
    }
    std::string word;
    for (size_t i = from; i <= line.size(); ++i) {
        if (i == line.size() || blank(line[i])) {
            if (!word.empty()) p.words.push_back(word);
            word.clear();
        } else {
            word += line[i];
        }
    }
    if (p.words.empty()) return p;
    const std::string& name = p.words[0];
    for (const Command& c : kCommands) {
        const bool longForm = name.size() > 1 && name[0] == '\\' && name.substr(1) == c.longName;
        const bool shortForm = name.size() == 1 && c.shortName && name[0] == c.shortName;
        if (longForm || shortForm) {
            p.command = &c;
            break;
        }
    }
    return p;
}

// A plain decimal number, the form loggers send: its value; else nothing known.
std::optional<double> decimal(const std::string& s) {
    size_t digits = 0;
    size_t dots = 0;
    for (char c : s) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.')
            ++dots;
        else
            return std::nullopt;
    }
    if (digits == 0 || digits > 15 || dots > 1 || s[0] == '.') return std::nullopt;
    return std::strtod(s.c_str(), nullptr);
}

// Checks one line's reply and what the radio was asked for it.
void check(const std::string& line, const RecordingRig& rig, const rigctl::Reply& reply) {
    const std::string out(reply.bytes.constData(), size_t(reply.bytes.size()));
    const char* const shown = out.c_str();
    const Parsed p = parse(line);
    const bool valid = p.printable && p.command && int(p.words.size()) - 1 == p.command->args;
    if (!valid) FUZZ_CHECK(rig.asked.empty(), "the invalid line \"%s\" asked the radio", line.c_str());
    FUZZ_CHECK(rig.asked.size() <= 1, "\"%s\" asked the radio %zu times", line.c_str(), rig.asked.size());
    FUZZ_CHECK(reply.quit == (p.printable && p.command && std::strcmp(p.command->longName, "quit") == 0),
               "\"%s\": quit %d", line.c_str(), int(reply.quit));
    if (!p.printable) {
        FUZZ_CHECK(out == "RPRT -1\n", "\"%s\" answered \"%s\"", line.c_str(), shown);
        return;
    }
    if (!p.command) {
        FUZZ_CHECK(out == "RPRT -11\n", "\"%s\" answered \"%s\"", line.c_str(), shown);
        return;
    }
    const Command& c = *p.command;
    const std::vector<std::string> args(p.words.begin() + 1, p.words.end());

    // The code the outcome calls for, and what the radio is asked.
    int code = 0;
    Op op = Op::None;
    int64_t hz = 0;
    bool anyNumber = false;  // a set_freq argument in another form than plain decimal
    if (!valid) {
        code = rigctl::kInvalid;
    } else if (c.needsPort && !rig.portUsable) {
        code = rigctl::kIoError;
    } else if (c.op == Op::Frequency || c.op == Op::Mode) {
        op = c.op;
        code = rig.answers ? 0 : rigctl::kIoError;
    } else if (c.op == Op::Strength) {
        op = args[0] == "STRENGTH" ? Op::Strength : Op::None;
        code = op == Op::None ? rigctl::kNotAvailable : rig.meterRead ? 0 : rigctl::kIoError;
    } else if (c.op == Op::SetFrequency) {
        const std::optional<double> asked = decimal(args[0]);
        anyNumber = !asked;
        if (asked && *asked >= double(cat::kMinHz) && *asked <= double(cat::kMaxHz)) {
            op = Op::SetFrequency;
            hz = std::llround(*asked);
            code = rig.answers ? 0 : rigctl::kIoError;
        } else {
            code = rigctl::kInvalid;
        }
    } else if (std::strcmp(c.longName, "set_vfo") == 0) {
        code = args[0] == "VFOA" ? 0 : rigctl::kInvalid;
    } else if (std::strcmp(c.longName, "set_split_vfo") == 0) {
        code = args[0] == "0" ? 0 : rigctl::kRejected;
    }
    if (anyNumber) {
        // Whatever else the executor takes for a number: only a frequency the radio tunes.
        if (!rig.asked.empty()) {
            hz = rig.asked[0].second;
            FUZZ_CHECK(rig.asked[0].first == Op::SetFrequency, "\"%s\" tuned to %lld Hz", line.c_str(), (long long)hz);
            FUZZ_CHECK(cat::tunableHz(hz), "\"%s\" tuned to %lld Hz", line.c_str(), (long long)hz);
            op = Op::SetFrequency;
            code = rig.answers ? 0 : rigctl::kIoError;
        }
    }
    if (op == Op::None) {
        FUZZ_CHECK(rig.asked.empty(), "\"%s\" asked the radio for something", line.c_str());
    } else {
        FUZZ_CHECK(rig.asked.size() == 1, "\"%s\" did not ask the radio as it should", line.c_str());
        FUZZ_CHECK(rig.asked[0].first == op, "\"%s\" did not ask the radio as it should", line.c_str());
        FUZZ_CHECK(rig.asked[0].second == hz, "\"%s\" did not ask the radio as it should", line.c_str());
    }

    // The reply, whole.
    const char sep = p.separator;
    std::string expected;
    if (sep) {
        expected = std::string(c.longName) + ":";
        for (const std::string& a : args) expected += " " + a;
        expected += sep;
    }
    const bool values = code == 0 && !c.values.empty();
    if (values && c.values[0].second == nullptr) {  // dump_state
        const std::string last = std::string("\ndone") + (sep ? sep : '\n') + (sep ? "RPRT 0\n" : "");
        FUZZ_CHECK(out.compare(0, expected.size() + 7, expected + "1\n1024\n") == 0, "\"%s\" answered \"%s\"",
                   line.c_str(), shown);
        FUZZ_CHECK(out.size() > last.size(), "\"%s\" answered \"%s\"", line.c_str(), shown);
        FUZZ_CHECK(out.compare(out.size() - last.size(), last.size(), last) == 0, "\"%s\" answered \"%s\"",
                   line.c_str(), shown);
        return;
    }
    if (values) {
        for (const auto& [label, value] : c.values) {
            if (sep && *label) expected += std::string(label) + ": ";
            expected += std::string(value) + (sep ? sep : '\n');
        }
    }
    if (sep || !values) expected += "RPRT " + std::to_string(code) + "\n";
    FUZZ_CHECK(out == expected, "\"%s\" answered \"%s\", not \"%s\"", line.c_str(), shown, expected.c_str());
}

// One client's bytes as this file states the line rules.
struct Client {
    rigctl::LineSplitter splitter;
    std::string raw;  // the line so far, up to its 1025th byte
    bool cutOff = false;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<Client, 4> clients;
    RecordingRig rig;
    size_t at = 0;
    while (at + 2 <= size) {
        const uint8_t header = data[at];
        const size_t length = std::min<size_t>(data[at + 1], size - at - 2);
        at += 2;
        Client& client = clients[header & 3];
        rig.portUsable = !(header & 4);
        rig.answers = !(header & 8);
        rig.meterRead = !(header & 16);
        for (const size_t end = at + length; at < end; ++at) {
            const char byte = char(data[at]);
            const std::optional<QByteArray> line = client.splitter.take(byte);
            // The line that should come out now, if any.
            std::optional<std::string> expected;
            if (byte == '\n') {
                std::string text = client.raw;
                if (!text.empty() && text.back() == '\r') text.pop_back();
                const bool allBlank = text.find_first_not_of(" \t\r\v\f") == std::string::npos;
                if (!client.cutOff && !allBlank) expected = text;
                client.raw.clear();
                client.cutOff = false;
            } else if (!client.cutOff) {
                client.raw += byte;
                if (client.raw.size() > size_t(rigctl::kMaxLineBytes)) {
                    expected = std::string();
                    client.cutOff = true;
                }
            }
            FUZZ_CHECK(bool(line) == bool(expected), "a line %s out after %zu bytes", line ? "came" : "did not come",
                       client.raw.size());
            if (!line) continue;
            FUZZ_CHECK(line->toStdString() == *expected, "the line came out as \"%s\"", line->constData());
            rig.asked.clear();
            const rigctl::Reply reply = rigctl::execute(rig, *line);
            check(*expected, rig, reply);
        }
    }
    return 0;
}
