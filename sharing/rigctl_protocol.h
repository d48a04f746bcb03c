// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Hamlib's network rig protocol (the one rigctld speaks) without the network:
// what a client's bytes mean as command lines, and what the scope answers to
// each line. The radio may only be used between two sweep steps, so whoever
// holds the radio runs the lines; the socket server only carries them.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace qv7m {

// What a client's command may ask of the scope.
class RigAccess {
public:
    virtual ~RigAccess() = default;
    // False while the radio's port is not usable: every command then gets an I/O error.
    virtual bool available() = 0;
    // VFO-A in Hz from a status read no older than 1 s; nullopt when the radio did not answer.
    virtual std::optional<int64_t> frequencyHz() = 0;
    // Tunes VFO-A; false when the radio could not be told.
    virtual bool setFrequencyHz(int64_t hz) = 0;
    // The operating mode as Hamlib names it ("USB", "LSB", "CW", "AM", "FM", "RTTY", "PKTLSB"); nullopt on
    // failure.
    virtual std::optional<QString> mode() = 0;
    // VFO-A's meter reading, no older than 1 s, in dB relative to S9; nullopt
    // when the radio did not answer.
    virtual std::optional<int> strengthDb() = 0;
};

namespace rigctl {

// No command is longer; a longer line is answered with one error.
constexpr int kMaxLineBytes = 1024;

// Hamlib's error codes as the protocol sends them ("RPRT n").
constexpr int kOk = 0;
constexpr int kInvalid = -1;        // a bad argument, or a line no command can be
constexpr int kIoError = -6;        // the radio did not answer, or its port is not usable
constexpr int kRejected = -9;       // what would take VFO-B from the scan
constexpr int kNotAvailable = -11;  // a command or level the scope does not have

struct Reply {
    QByteArray bytes;   // what the client is sent, line ends included
    bool quit = false;  // the client asked to be disconnected, after these bytes
};

// Runs one command line (without its line end) against the radio. An empty
// line stands for one that was too long; it and a line with bytes no
// command has never reach the radio.
Reply execute(RigAccess& rig, const QByteArray& line);

// The text \dump_state sends: what Hamlib's network client learns of the radio.
QByteArray dumpState();

// Cuts one client's bytes into command lines: a line ends at LF, a CR before
// it is dropped, blank lines are skipped. A line longer than kMaxLineBytes
// comes out once as an empty line, as soon as it is known to be too long, and
// the rest of it is thrown away up to its LF.
class LineSplitter {
public:
    // Takes the client's next byte; a line when this byte ends one.
    std::optional<QByteArray> take(char byte);

private:
    QByteArray partial_;
    bool discarding_ = false;
};

}  // namespace rigctl
}  // namespace qv7m
