#include "radio/alignedcomm.h"

#include <algorithm>
#include <cstdlib>

namespace qv7m {

AlignedComm::AlignedComm(std::unique_ptr<RawLine> line) : AlignedComm(std::move(line), Timing{}) {}

AlignedComm::AlignedComm(std::unique_ptr<RawLine> line, const Timing& timing)
    : line_(std::move(line)), timing_(timing), pacingMs_(-1) {
    line_->onComm = [this] {
        if (onComm) onComm();
    };
}

int AlignedComm::answerLength(uint8_t opcode, uint8_t p4) {
    switch (opcode) {
    case 0xF7:
        return 5;
    case 0xFA:
        return 5;
    case 0x10:
        switch (p4) {
        case 0x01: return 1;
        case 0x02: return 16;
        case 0x03: return 32;
        default: return 0;
        }
    default:
        return 0;
    }
}

void AlignedComm::retire() {
    decide(false);
    // The current request's reads are over; its answer may still be arriving.
    if (cur_.active) {
        prev_ = cur_;
        prev_.seen = int(cur_.bytes.size());
    }
    cur_ = Request{};
}

void AlignedComm::setPortOpen(bool open) {
    line_->setPortOpen(open);
    // The radio goes on answering whether or not the port is open, so what is
    // known about its answer carries over; only a half-written frame does not.
    partialFrame_.clear();
    retire();
}

void AlignedComm::Output(const QByteArray& bytes) {
    // Sort what is already in first, so that nothing that arrived before this
    // frame is ever taken for its answer.
    take(line_->now());
    const LineTime writtenAt = line_->now();
    line_->Output(bytes);

    const LineTime start = std::max(writtenAt, txFree_);
    for (int i = 0; i < bytes.size(); ++i) {
        partialFrame_.append(bytes.at(i));
        if (partialFrame_.size() < 5) continue;
        const uint8_t p4 = uint8_t(partialFrame_.at(3));
        const uint8_t opcode = uint8_t(partialFrame_.at(4));
        partialFrame_.clear();
        if (opcode == 0x0E) pacingMs_ = p4;
        const int expected = answerLength(opcode, p4);
        if (expected > 0) {
            retire();
            cur_.active = true;
            cur_.expected = expected;
            cur_.inAt = start + LineTime(i + 1) * timing_.byteTime;
            cur_.pacingMs = pacingMs_;
        }
    }
    txFree_ = start + LineTime(bytes.size()) * timing_.byteTime;
    awaySince_ = line_->now();
}

QByteArray AlignedComm::Input() {
    const QByteArray result = read();
    awaySince_ = line_->now();
    return result;
}

QByteArray AlignedComm::read() {
    take(line_->now());
    if (!cur_.active) return {};
    const int read = ++cur_.reads;
    if (read <= 3) return {};
    const int wanted = read - 3;
    if (wanted > cur_.expected) return {};
    for (;;) {
        if (int(cur_.bytes.size()) >= wanted) return QByteArray(1, char(cur_.bytes[wanted - 1]));
        if (cur_.silent) return {};
        if (hasUndecided_) {
            // Nothing came where the current answer would have started after
            // it: it was the current answer's first byte.
            if (line_->now() >= undecidedUntil()) {
                decide(false);
                continue;
            }
            // Only the byte after it decides, so wait that long, even past
            // the current answer's own deadline: it is a few milliseconds
            // at most, and stopping short would leave nothing to wait for.
            take(undecidedUntil());
            continue;
        }
        const LineTime deadline = nextDeadline();
        if (line_->now() >= deadline) {
            cur_.silent = true;
            return {};
        }
        take(deadline);
    }
}

void AlignedComm::idleWait(int ms) {
    if (!line_->portOpen()) {
        line_->idleWait(ms);
        return;
    }
    const LineTime deadline = line_->now() + LineTime(ms) * kMillisecond;
    do {
        take(deadline);
    } while (line_->now() < deadline);
    awaySince_ = line_->now();
}

void AlignedComm::take(LineTime deadline) {
    scratch_.clear();
    const LineTime callStart = line_->now();
    line_->receive(deadline, scratch_);
    // A byte that was already waiting carries the time it was taken in, which
    // is late by however long the program was busy elsewhere.
    const bool wasAway = callStart - awaySince_ > kMillisecond;
    for (const StampedByte& b : scratch_) sort(b, !wasAway || b.at > callStart + kMillisecond / 5);
}

// The longest a byte of the answer can take after the one before it.
LineTime AlignedComm::step(const Request& r) const {
    int pacing = std::max(r.pacingMs, pacingMs_);
    if (pacing < 0) pacing = timing_.initialPacingMs;
    return timing_.byteTime + LineTime(pacing) * kMillisecond;
}

// The shortest: with the radio's pacing not known, one byte time.
LineTime AlignedComm::minStep(const Request& r) const {
    return timing_.byteTime + LineTime(std::max(0, r.pacingMs)) * kMillisecond;
}

// The slot (1 = the next one) of the previous answer's cadence that a byte
// arriving at `at` fits; 0 when it fits none.
int AlignedComm::previousSlot(LineTime at) const {
    if (!prev_.active || prev_.seen == 0) return 0;
    // A byte past the answer's length is taken as added by the radio only when
    // the current request was in before that answer ended: the current answer
    // then starts a few milliseconds after it, well before its next slot.
    // Otherwise the current answer may begin at any moment, and its first
    // byte must not be lost to a guess.
    if (prev_.seen > prev_.expected) return 0;  // it has had its one added byte
    bool added = cur_.inAt <= prev_.last;
    // Once the radio's latency is known, a byte that does not come when the
    // current answer would start is the previous answer's too.
    if (!added && latencySeen_ >= 0) added = !fitsFirstByte(at);
    const int slotsLeft = std::max(0, prev_.expected - prev_.seen) + (added ? 1 : 0);
    for (int m = 1; m <= slotsLeft; ++m) {
        const LineTime slot = prev_.last + LineTime(m) * step(prev_);
        if (std::llabs(at - slot) <= timing_.cadenceTolerance) return m;
    }
    return 0;
}

// Whether a byte arriving at `at` comes when the current answer's first byte
// is due, by the latency the radio has shown.
bool AlignedComm::fitsFirstByte(LineTime at) const {
    if (latencySeen_ < 0 || !cur_.bytes.empty()) return false;
    LineTime start = cur_.inAt;
    if (prev_.active) start = std::max(start, prev_.last);
    // A radio may start an answer it already holds as soon as the previous
    // one is out, without its usual latency; but never before the request
    // has reached it and one byte time has passed.
    const LineTime earliest = std::max(start + timing_.byteTime - timing_.cadenceTolerance,
                                       cur_.inAt + timing_.byteTime - kMillisecond);
    return at >= earliest && at <= start + timing_.byteTime + latencySeen_ + timing_.cadenceTolerance;
}

// When a byte fits both the previous answer's cadence and the start of the
// current one, the next byte decides: had it been the previous answer's, the
// current answer would start right after it.
LineTime AlignedComm::undecidedUntil() const {
    return undecided_.at + timing_.byteTime + latencySeen_ + timing_.cadenceTolerance;
}

void AlignedComm::decide(bool previous) {
    if (!hasUndecided_) return;
    hasUndecided_ = false;
    if (previous) {
        prev_.seen += undecidedSlot_;
        prev_.last = undecided_.at;
    } else {
        accept(undecided_, true);
    }
}

// Which byte of the previous answer one arriving at `at` is, judged by the
// cadence from its last byte, or from its start when none has come yet.
int AlignedComm::previousPosition(LineTime at) const {
    const LineTime from = prev_.seen == 0 ? prev_.inAt + timing_.byteTime - step(prev_) : prev_.last;
    const LineTime gap = std::max<LineTime>(0, at - from);
    const int count = int((gap + step(prev_) / 2) / step(prev_));
    return std::min(prev_.seen + std::max(1, count), prev_.expected + 1);
}

// The latest the previous answer's last byte can be expected.
LineTime AlignedComm::previousEnd() const {
    // An answer that has not begun by the time its first byte was due is
    // taken as never coming; it holds nothing up after that.
    if (prev_.seen == 0) return prev_.inAt + timing_.byteTime + timing_.latency + timing_.slack;
    return prev_.last + LineTime(std::max(0, prev_.expected - prev_.seen)) * step(prev_);
}

void AlignedComm::sort(const StampedByte& b, bool exact) {
    if (!cur_.active) return;  // no request is waiting: nobody's answer
    if (hasUndecided_) {
        decide(b.at <= undecidedUntil());
    }
    // Nothing of the current answer can arrive before its request is in and
    // one byte time has passed.
    const bool tooEarly = b.at < cur_.inAt + timing_.byteTime - kMillisecond;
    if (cur_.bytes.empty() && prev_.active) {
        // The radio finishes one answer before it starts the next, so until the
        // current answer has begun, a byte in the previous answer's cadence is
        // that answer's tail, however late.
        const int slot = previousSlot(b.at);
        // A byte that would end the previous answer but also comes when the
        // current one would begin is decided by the next byte.
        if (slot > 0 && exact && prev_.seen + slot >= prev_.expected && fitsFirstByte(b.at)) {
            undecided_ = b;
            undecidedSlot_ = slot;
            hasUndecided_ = true;
            return;
        }
        if (slot > 0 || tooEarly) {
            const int seen = slot > 0 ? prev_.seen + slot : previousPosition(b.at);
            // The radio keeps its cadence; a byte can only be taken in later
            // than it was sent (a busy system, a slow adapter), so one that
            // came a little after its slot must not drag the cadence along
            // and push the bytes after it out of theirs.
            const LineTime due = prev_.last + LineTime(seen - prev_.seen) * step(prev_);
            const bool lateInSlot = prev_.seen > 0 && b.at > due && b.at - due <= step(prev_) / 2;
            prev_.seen = seen;
            prev_.last = lateInSlot ? due : b.at;
            return;
        }
    }
    if (tooEarly) return;
    accept(b, exact);
}

void AlignedComm::accept(const StampedByte& b, bool exact) {
    if (cur_.bytes.empty() && cur_.firstDue < 0) cur_.firstDue = nextDeadline();
    if (cur_.bytes.empty() && exact && (!prev_.active || prev_.seen >= prev_.expected)) {
        // How long the radio takes to start an answer, as last seen.
        LineTime start = cur_.inAt;
        if (prev_.active) start = std::max(start, prev_.last);
        const LineTime latency = b.at - start - timing_.byteTime;
        if (latency >= 0 && latency <= timing_.latency) latencySeen_ = latency;
    }
    // Within an answer bytes come a byte time plus the pacing apart; two
    // closer than that (both timed exactly) have the end of one answer
    // between them, so what came before was not this answer's: a byte the
    // radio added to the previous one, or noise.
    // The gap is measured from where the cadence put the byte before: one
    // taken in a little late (a busy system) must not make the next, on
    // time, look too close.
    if (!cur_.bytes.empty() && exact && cur_.lastExact) {
        const LineTime gap = b.at - cur_.cadence;
        if (gap > 0 && gap < minStep(cur_) - timing_.cadenceTolerance) cur_.bytes.clear();
    }
    const LineTime due = cur_.cadence + minStep(cur_);
    const bool lateInSlot = !cur_.bytes.empty() && b.at > due && b.at - due <= minStep(cur_) / 2;
    cur_.cadence = lateInSlot ? due : b.at;
    cur_.bytes.push_back(b.value);
    cur_.last = b.at;
    cur_.lastExact = exact;
    prev_.active = false;
}

LineTime AlignedComm::nextDeadline() const {
    if (cur_.bytes.empty()) {
        LineTime start = cur_.inAt;
        // The radio starts it only once the previous answer is out.
        if (prev_.active) start = std::max(start, previousEnd());
        return start + timing_.byteTime + timing_.latency + timing_.slack;
    }
    // Each byte extends the wait by one step, but not past the time by which
    // the whole answer must be in: bytes that keep coming too close together
    // to be one answer (another device talking on the port) must not hold a
    // read up for as long as they last.
    const LineTime answerEnd = cur_.firstDue + LineTime(std::max(0, cur_.expected - 1)) * step(cur_);
    return std::min(cur_.last, answerEnd) + step(cur_) + timing_.slack;
}

}  // namespace qv7m
