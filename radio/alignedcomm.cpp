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
        // A meter answer ends with its pad: one that has come ends it, however
        // many copies were lost on the way.
        const auto& b = cur_.bytes;
        prev_.padSeen =
            cur_.opcode == 0xF7 && !b.empty() && b[0] != 0xF7 && std::find(b.begin(), b.end(), 0xF7) != b.end();
        if (prev_.padSeen) prev_.seen = std::max(prev_.seen, prev_.expected);
    }
    cur_ = Request{};
}

void AlignedComm::setPortOpen(bool open) {
    const LineTime now = line_->now();
    line_->setPortOpen(open);
    // The radio goes on answering whether or not the port is open, so what is
    // known about its answer carries over; only a half-written frame does not.
    partialFrame_.clear();
    retire();
    // What of the previous answer was due while the port was closed went to
    // nobody: nothing that comes now is part of it.
    if (open && prev_.active && now > previousEnd())
        prev_.seen = std::max(prev_.seen, prev_.expected);
    // After a while off the line the radio may have been switched off and on,
    // or changed: its pacing is 0 after power-up, so it is not known again
    // until the program sets it. Between two sweeps it cannot have been.
    if (open && now - lastOnLine_ >= timing_.radioRestart) pacingMs_ = -1;
    lastOnLine_ = now;
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
            cur_.opcode = opcode;
            cur_.expected = expected;
            cur_.inAt = start + LineTime(i + 1) * timing_.byteTime;
            cur_.pacingMs = pacingMs_;
        }
    }
    txFree_ = start + LineTime(bytes.size()) * timing_.byteTime;
    awaySince_ = line_->now();
    lastOnLine_ = std::max(awaySince_, txFree_);
}

QByteArray AlignedComm::Input() {
    const QByteArray result = read();
    awaySince_ = line_->now();
    lastOnLine_ = std::max(lastOnLine_, awaySince_);
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
        if (int(cur_.bytes.size()) >= wanted) {
            const uint8_t b = cur_.bytes[wanted - 1];
            // A meter answer that begins with F7 goes on with F7: a lone F7
            // is the reading only once the byte after it says so. With none
            // by the time the answer's next byte was due, it was a pad.
            if (cur_.opcode == 0xF7 && wanted == 1 && b == 0xF7 && cur_.bytes.size() == 1) {
                const LineTime deadline = nextDeadline();
                if (line_->now() >= deadline) return {};
                take(deadline);
                continue;
            }
            // A meter answer is the reading four times, then the pad F7. A
            // second byte that is F7 after a first that is not cannot be the
            // reading's second copy: it is the pad, and the first byte was
            // the answer's last copy (its bytes came too unevenly for the
            // cadence to place them). The reading stands in the first read.
            if (cur_.opcode == 0xF7 && wanted == 2 && b == 0xF7 && cur_.firstGiven >= 0 &&
                cur_.firstGiven != 0xF7)
                return {};
            if (wanted == 1) cur_.firstGiven = b;
            return QByteArray(1, char(b));
        }
        if (cur_.silent) return {};
        if (hasUndecided_) {
            // Nothing came where the current answer would have started after
            // it (nor, for a late one, in the previous answer's cadence): it
            // was the current answer's first byte.
            // Also once the wait for the current answer is over, so that a
            // read never waits on a deadline already past.
            if (line_->now() >= decisionTime() || line_->now() >= nextDeadline()) {
                decide(false);
                continue;
            }
            take(std::min(decisionTime(), nextDeadline()));
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
    for (const StampedByte& b : scratch_) sort(b, !b.batched && (!wasAway || b.at > callStart + kMillisecond / 5));
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

// How much later than its slot a byte of this answer may be handed over.
LineTime AlignedComm::lateAllowance(const Request& r) const {
    return std::max(timing_.cadenceTolerance, std::min(timing_.lateTolerance, step(r) / 2));
}

// The slot (1 = the next one) of the previous answer's cadence that a byte
// arriving at `at` fits, and when that slot was due; 0 when it fits none. A
// byte may be handed over late, never early.
int AlignedComm::previousSlot(LineTime at, LineTime* slotAt) const {
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
    if (!added && latencySeen_ >= 0) added = !fitsFirstByte(at, timing_.cadenceTolerance);
    const int slotsLeft = std::max(0, prev_.expected - prev_.seen) + (added ? 1 : 0);
    const LineTime late = lateAllowance(prev_);
    for (int m = 1; m <= slotsLeft; ++m) {
        const LineTime slot = prev_.last + LineTime(m) * step(prev_);
        if (at >= slot - timing_.cadenceTolerance && at <= slot + late) {
            if (slotAt) *slotAt = slot;
            return m;
        }
    }
    return 0;
}

// Whether a byte arriving at `at` comes when the current answer's first byte
// is due, by the latency the radio has shown; `late` is how much later than
// that it may still be handed over.
bool AlignedComm::fitsFirstByte(LineTime at, LineTime late) const {
    if (latencySeen_ < 0 || !cur_.bytes.empty()) return false;
    LineTime start = cur_.inAt;
    if (prev_.active) start = std::max(start, prev_.last);
    // A radio may start an answer it already holds as soon as the previous
    // one is out, without its usual latency; but never before the request
    // has reached it and one byte time has passed.
    const LineTime earliest = std::max(start + timing_.byteTime - timing_.cadenceTolerance,
                                       cur_.inAt + timing_.byteTime - kMillisecond);
    return at >= earliest && at <= start + timing_.byteTime + latencySeen_ + late;
}

// When a byte fits both the previous answer's cadence and the start of the
// current one, the next byte decides: had it been the previous answer's, the
// current answer would start right after it, or once its request is in and
// the radio's latency has passed, whichever is later.
LineTime AlignedComm::undecidedUntil() const {
    // After a meter answer's pad, a byte the radio added is much less likely
    // than a current answer whose first byte was handed over late: only a
    // next byte on time says it was added.
    const LineTime late = prev_.padSeen ? timing_.cadenceTolerance : lateAllowance(cur_);
    return std::max(undecided_.at, cur_.inAt + latencySeen_) + timing_.byteTime + late;
}

// A byte that fits the start of the current answer only as one handed over
// late may also be one more byte the radio added to the previous answer: then
// the next byte may come a step after it, in that answer's cadence, while the
// current answer's own second byte, on time, comes sooner than that.
LineTime AlignedComm::decisionTime() const {
    if (!undecidedLate_) return undecidedUntil();
    return undecided_.at + step(prev_) + lateAllowance(prev_);
}

bool AlignedComm::undecidedWasPrevious(LineTime next) const {
    if (next <= undecidedUntil()) return true;
    return undecidedLate_ && next >= undecided_.at + step(prev_) - timing_.cadenceTolerance;
}

void AlignedComm::decide(bool previous) {
    if (!hasUndecided_) return;
    hasUndecided_ = false;
    if (previous) {
        prev_.seen += undecidedSlot_;
        prev_.last = std::min(undecided_.at, undecidedSlotAt_ + kMillisecond);
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
        // A meter answer that began with F7 goes on with F7 (the reading
        // four times, then the pad): an F7 followed by anything else was the
        // previous answer's pad.
        decide(undecidedWasPrevious(b.at) || (isPad(undecided_.value) && !isPad(b.value)));
    }
    // Nothing of the current answer can arrive before its request is in and
    // one byte time has passed.
    const bool tooEarly = b.at < cur_.inAt + timing_.byteTime - kMillisecond;
    if (cur_.bytes.empty() && takenAsPreviousTail(b, exact)) return;
    if (!exact && cur_.bytes.empty() && prev_.active && prev_.seen > 0 && prev_.seen < prev_.expected) {
        // A byte that waited to be read has only a latest arrival time. The
        // radio finishes one answer before it starts the next, so once the
        // previous answer's next byte was due, the next byte in line is that
        // one.
        const LineTime due = prev_.last + step(prev_);
        if (b.at >= due - timing_.cadenceTolerance) {
            prev_.seen += 1;
            prev_.last = due;
            return;
        }
    }
    if (cur_.bytes.empty() && prev_.active) {
        // The radio finishes one answer before it starts the next, so until the
        // current answer has begun, a byte in the previous answer's cadence is
        // that answer's tail, however late.
        LineTime slotAt = 0;
        const int slot = previousSlot(b.at, &slotAt);
        // A byte that would end the previous answer but also comes when the
        // current one would begin, or a little later (handed over late), is
        // decided by the next byte.
        if (slot > 0 && exact && prev_.seen + slot >= prev_.expected &&
            fitsFirstByte(b.at, lateAllowance(cur_))) {
            undecided_ = b;
            undecidedSlot_ = slot;
            undecidedSlotAt_ = slotAt;
            undecidedLate_ = !fitsFirstByte(b.at, timing_.cadenceTolerance);
            hasUndecided_ = true;
            return;
        }
        if (slot > 0 || tooEarly) {
            prev_.seen = slot > 0 ? prev_.seen + slot : previousPosition(b.at);
            // A byte handed over late says little about the radio's cadence:
            // the next one is expected a step after its slot, give or take
            // the little by which a radio's pacing may run slow.
            prev_.last = slot > 0 ? std::min(b.at, slotAt + kMillisecond) : b.at;
            return;
        }
    }
    if (tooEarly) return;
    accept(b, exact);
}

void AlignedComm::accept(const StampedByte& b, bool exact) {
    if (cur_.bytes.empty() && cur_.firstDue < 0) cur_.firstDue = nextDeadline();
    if (cur_.bytes.empty() && exact &&
        (!prev_.active || (prev_.seen >= prev_.expected && prev_.last <= cur_.inAt))) {
        // How long the radio takes to start an answer, as last seen. Only an
        // answer whose request found the radio idle shows it: one that waited
        // for the previous answer to end starts right after that.
        const LineTime latency = b.at - cur_.inAt - timing_.byteTime;
        if (latency >= 0 && latency <= timing_.latency) {
            cur_.latencyBefore = latencySeen_;
            latencySeen_ = latency;
        }
    }
    // A meter answer that begins with F7 goes on with F7: an F7 taken as its
    // first byte and followed by anything else was the previous answer's pad
    // (the line's timing put it where this answer could begin). The answer
    // starts here, and the latency the pad suggested is forgotten.
    if (cur_.bytes.size() == 1 && isPad(cur_.bytes[0]) && !isPad(b.value)) {
        cur_.bytes.clear();
        if (cur_.latencyBefore != kNoLatency) latencySeen_ = cur_.latencyBefore;
    }
    // Within an answer bytes come a byte time plus the pacing apart; two
    // closer than that, even allowing for the first handed over late (both
    // timed exactly), have the end of one answer between them, so what came
    // before was not this answer's: a byte the radio added to the previous
    // one, or noise. Two closer than one byte time cannot have crossed the
    // wire so: the first was handed over late (two reads that caught one
    // late batch), and says nothing about where answers meet. Nor does a byte
    // that follows a run in the answer's cadence: that run is the answer, and
    // the byte before this one was handed over late.
    const LineTime gap = b.at - cur_.last;
    const bool closerThanPaced = gap < minStep(cur_) - lateAllowance(cur_);
    if (!cur_.bytes.empty() && exact && cur_.lastExact && !(cur_.bytes.size() >= 2 && cur_.paced) &&
        gap >= timing_.byteTime - kMillisecond && closerThanPaced)
        cur_.bytes.clear();
    cur_.paced = !cur_.bytes.empty() && !closerThanPaced;
    // The cadence goes on from where this byte was due rather than from
    // when it was handed over, should that have been late.
    LineTime due = b.at;
    if (!cur_.bytes.empty()) {
        const LineTime s = step(cur_);
        const LineTime n = std::max<LineTime>(1, (b.at - cur_.last + s / 2) / s);
        due = std::min(b.at, cur_.last + n * s + kMillisecond);
    }
    cur_.bytes.push_back(b.value);
    cur_.last = due;
    cur_.lastExact = exact;
    prev_.active = false;
}

// A meter answer is its reading four times, then the pad F7, and the radio
// finishes it before it starts the next. So while the previous one's pad has
// not come, an F7 is that pad and a copy of its reading one of its copies,
// even when the radio has fallen behind its cadence and their timing fits
// nothing; what comes after the pad is the current answer.
bool AlignedComm::takenAsPreviousTail(const StampedByte& b, bool exact) {
    if (!prev_.active || prev_.opcode != 0xF7 || prev_.bytes.empty() || prev_.bytes[0] == 0xF7) return false;
    if (prev_.seen >= prev_.expected || b.at > previousEnd() + timing_.radioLate) return false;
    const bool pad = b.value == 0xF7;
    if (!pad && (b.value != prev_.bytes[0] || prev_.seen >= prev_.expected - 1)) return false;
    // The cadence goes on from it; from when it was due, if it waited to be read.
    prev_.last = exact ? b.at : std::min(b.at, prev_.last + step(prev_));
    prev_.seen = pad ? prev_.expected : prev_.seen + 1;
    prev_.padSeen = pad;
    return true;
}

// The last byte of a meter answer, in an answer to a meter request.
bool AlignedComm::isPad(uint8_t value) const { return cur_.opcode == 0xF7 && value == 0xF7; }

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
