#pragma once
// The program's link, noting what each read of each request returned, and the
// check that holds those reads against the answers the radio sent.

#include "radio/alignedcomm.h"

#include <QByteArray>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qv7m::test {

using Reads = std::vector<QByteArray>;

inline bool isRequest(const QByteArray& frame) {
    return cat::answerLength(uint8_t(frame.at(4)), uint8_t(frame.at(3))) > 0;
}

class ObservedComm : public AlignedComm {
public:
    explicit ObservedComm(std::unique_ptr<RawLine> line) : AlignedComm(std::move(line)) {}
    void Output(const QByteArray& bytes) override {
        AlignedComm::Output(bytes);  // a frame that failed to go out asked nothing
        for (int i = 0; i + 5 <= bytes.size(); i += 5)
            if (isRequest(bytes.mid(i, 5))) requests[radio].emplace_back();
    }
    QByteArray Input() override {
        const QByteArray got = AlignedComm::Input();
        if (!requests[radio].empty()) requests[radio].back().push_back(got);
        return got;
    }

    // The reads of each request, by the radio it went to.
    std::map<std::string, std::vector<Reads>> requests;
    std::string radio;
};

// Read 3 + i of a request takes byte i of its own answer. Lists (and prints) the requests with a read that
// took anything else (shifted), nothing where their answer had a byte (short_), or a byte not in it (foreign).
struct InStep {
    size_t compared = 0;
    std::vector<size_t> shifted, short_, foreign;
};

inline InStep compareReads(const std::vector<Reads>& requests, const std::vector<QByteArray>& answers,
                           bool print = true) {
    InStep r;
    r.compared = std::min(requests.size(), answers.size());
    for (size_t n = 0; n < r.compared; ++n) {
        QByteArray got, want;
        bool shifted = false, missing = false, foreign = false;
        for (size_t k = 0; k < requests[n].size(); ++k) {
            const QByteArray w = k < 3 ? QByteArray() : answers[n].mid(int(k) - 3, 1), g = requests[n][k];
            shifted |= !g.isEmpty() && g != w, missing |= g.isEmpty() && !w.isEmpty(),
                foreign |= !g.isEmpty() && !answers[n].contains(g);
            got += g.isEmpty() ? "--" : g.toHex(), want += w.isEmpty() ? "--" : w.toHex();
        }
        if (shifted) r.shifted.push_back(n);
        if (missing) r.short_.push_back(n);
        if (foreign) r.foreign.push_back(n);
        if (foreign || (print && (shifted || missing)))
            std::printf("  request %zu (answer %s): reads %s, its own answer gives %s\n", n,
                        answers[n].toHex().constData(), got.constData(), want.constData());
    }
    return r;
}

}  // namespace qv7m::test
