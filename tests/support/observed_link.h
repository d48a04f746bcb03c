// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's link, noting what each read of each request returned, and the
// check that holds those reads against the answers the radio sent.

#include "radio/aligned_link.h"

#include <QByteArray>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace qv7m::test {

// What an operation took of its request's answer, by the program's reads:
// read 3 + i is the answer's byte i (reads 1 to 3 find nothing), an empty
// read where nothing was taken.
using Reads = std::vector<QByteArray>;

inline bool isRequest(const QByteArray& frame) {
    return cat::answerLength(uint8_t(frame.at(4)), uint8_t(frame.at(3))) > 0;
}

class ObservedLink : public AlignedLink {
public:
    explicit ObservedLink(std::unique_ptr<Line> line) : AlignedLink(std::move(line)) {}
    void ask(const cat::Frame& request) override {
        AlignedLink::ask(request);  // a request that failed to go out asked nothing
        requests[radio].push_back(Reads(3));
    }
    std::optional<uint8_t> take(int i) override {
        const std::optional<uint8_t> got = AlignedLink::take(i);
        if (!requests[radio].empty()) {
            Reads& reads = requests[radio].back();
            const size_t read = size_t(i) + 2;
            if (reads.size() <= read) reads.resize(read + 1);
            if (got) reads[read] = QByteArray(1, char(*got));
        }
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
    std::vector<size_t> shifted;
    std::vector<size_t> short_;
    std::vector<size_t> foreign;
};

inline InStep compareReads(const std::vector<Reads>& requests, const std::vector<QByteArray>& answers,
                           bool print = true) {
    InStep r;
    r.compared = std::min(requests.size(), answers.size());
    for (size_t n = 0; n < r.compared; ++n) {
        QByteArray got;
        QByteArray want;
        bool shifted = false;
        bool missing = false;
        bool foreign = false;
        for (size_t k = 0; k < requests[n].size(); ++k) {
            const QByteArray w = k < 3 ? QByteArray() : answers[n].mid(int(k) - 3, 1);
            const QByteArray g = requests[n][k];
            shifted |= !g.isEmpty() && g != w;
            missing |= g.isEmpty() && !w.isEmpty();
            foreign |= !g.isEmpty() && !answers[n].contains(g);
            got += g.isEmpty() ? "--" : g.toHex();
            want += w.isEmpty() ? "--" : w.toHex();
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
