// SPDX-License-Identifier: GPL-3.0-or-later
// The rigctld protocol against any bytes from four clients in any
// interleaving. The input is a run of chunks: a header byte (bits 0-1 the
// client, bit 2 the radio's port unusable, bit 3 the radio not answering), a
// length byte, then that many of the client's bytes. Each client's bytes go
// through its own line splitter and each line through the command executor.
// Nothing may crash, every reply must be a well-formed reply, and only a valid
// command that asks the radio for something may reach the radio.

#include "fuzz_common.h"
#include "radio/cat_codec.h"
#include "sharing/rigctl_protocol.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

using namespace qv7m;

namespace {

// The radio, noting each time it is asked for anything (each would send frames).
struct RecordingRig : RigAccess {
    bool usable = true;
    bool answers = true;
    int asked = 0;
    int64_t tunedHz = 0;
    bool available() override { return usable; }
    std::optional<int64_t> frequencyHz() override {
        ++asked;
        return answers ? std::optional<int64_t>(14252470) : std::nullopt;
    }
    bool setFrequencyHz(int64_t hz) override {
        ++asked;
        tunedHz = hz;
        return answers;
    }
    std::optional<QString> mode() override {
        ++asked;
        return answers ? std::optional<QString>(QStringLiteral("USB")) : std::nullopt;
    }
    std::optional<int> strengthDb() override {
        ++asked;
        return answers ? std::optional<int>(-12) : std::nullopt;
    }
};

// The commands that use the radio, by short and long name, and their argument counts.
struct RadioCommand {
    const char* shortName;
    const char* longName;
    size_t args;
};
const RadioCommand kRadioCommands[] = {
    {"f", "\\get_freq", 0},
    {"F", "\\set_freq", 1},
    {"m", "\\get_mode", 0},
    {"l", "\\get_level", 1},
};

// The line's words split on spaces and tabs, less a leading punctuation prefix
// (the extended reply form); empty when the line has a byte no command has.
std::vector<std::string> wordsOf(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    for (char b : line + ' ') {
        if (b < 0x20 && b != '\t') return {};
        if (b > 0x7e) return {};
        if (b != ' ' && b != '\t') {
            word += b;
        } else if (!word.empty()) {
            words.push_back(word);
            word.clear();
        }
    }
    if (!words.empty() && std::ispunct(static_cast<unsigned char>(words[0][0])) && !std::strchr("\\?_#", words[0][0])) {
        words[0].erase(0, 1);
        if (words[0].empty()) words.erase(words.begin());
    }
    return words;
}

bool mayUseTheRadio(const std::string& line) {
    const std::vector<std::string> words = wordsOf(line);
    for (const RadioCommand& c : kRadioCommands) {
        const bool named = !words.empty() && (words[0] == c.shortName || words[0] == c.longName);
        if (named && words.size() == 1 + c.args) return true;
    }
    return false;
}

// One reply: printable text in lines, ending in a line end; either values
// alone, or ending in "RPRT n" with one of Hamlib's codes.
void checkReply(const std::string& line, const std::string& out) {
    FUZZ_CHECK(!out.empty(), "\"%s\" got no reply", line.c_str());
    FUZZ_CHECK(out.back() == '\n', "\"%s\" got \"%s\", no line end", line.c_str(), out.c_str());
    for (char b : out) {
        FUZZ_CHECK(b == '\n' || (b >= 0x20 && b <= 0x7e), "\"%s\" got a byte 0x%02x", line.c_str(), b & 0xFF);
    }
    // The extended form echoes the arguments, which may hold anything: the report is the reply's end.
    const size_t report = out.rfind("RPRT ");
    if (report == std::string::npos) return;
    const bool ownLine =
        report == 0 || std::ispunct(static_cast<unsigned char>(out[report - 1])) || out[report - 1] == '\n';
    FUZZ_CHECK(ownLine, "\"%s\" got \"%s\"", line.c_str(), out.c_str());
    const std::string code = out.substr(report + 5);
    const bool known = code == "0\n" || code == "-1\n" || code == "-6\n" || code == "-9\n" || code == "-11\n";
    FUZZ_CHECK(known, "\"%s\" got \"%s\"", line.c_str(), out.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::array<rigctl::LineSplitter, 4> clients;
    RecordingRig rig;
    for (size_t at = 0; at + 2 <= size;) {
        const uint8_t header = data[at];
        const size_t end = at + 2 + std::min<size_t>(data[at + 1], size - at - 2);
        rig.usable = !(header & 4);
        rig.answers = !(header & 8);
        for (at += 2; at < end; ++at) {
            const std::optional<QByteArray> line = clients[header & 3].take(char(data[at]));
            if (!line) continue;
            const std::string text = line->toStdString();
            rig.asked = 0;
            rig.tunedHz = 0;
            const rigctl::Reply reply = rigctl::execute(rig, *line);
            checkReply(text, reply.bytes.toStdString());
            FUZZ_CHECK(rig.asked == 0 || mayUseTheRadio(text), "\"%s\" reached the radio", text.c_str());
            FUZZ_CHECK(rig.asked == 0 || rig.usable, "\"%s\" reached a radio whose port is unusable", text.c_str());
            FUZZ_CHECK(rig.tunedHz == 0 || cat::tunableHz(rig.tunedHz), "\"%s\" tuned to %lld Hz", text.c_str(),
                       (long long)rig.tunedHz);
        }
    }
    return 0;
}
