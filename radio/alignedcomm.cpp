#include "radio/alignedcomm.h"

#include "core/runtime_error.h"

#include <algorithm>
#include <limits>

namespace qv7m {

namespace {
// The longest pacing the radio takes (opcode 0E, P4 = 0..255 ms).
constexpr int kLongestPacingMs = 255;
}  // namespace

AlignedComm::AlignedComm(std::unique_ptr<RawLine> line) : AlignedComm(std::move(line), Timing{}) {}

AlignedComm::AlignedComm(std::unique_ptr<RawLine> line, const Timing& timing)
    : line_(std::move(line)), timing_(timing) {
    line_->onComm = [this] {
        if (onComm) onComm();
    };
}

void AlignedComm::setPortOpen(bool open) {
    if (!open && line_->portOpen()) {
        // The radio goes on with an answer whether or not the port is open,
        // and what it sends meanwhile is lost: let the owed answers end first,
        // and see that nothing more comes.
        try {
            waitForLine(true);
        } catch (const RuntimeError&) {
            line_->setPortOpen(false);
            answers_.clear();
            hasCurrent_ = false;
            throw;
        }
        // A line not yet quiet after a fault may still be carrying an answer
        // when the port is open again: the next session starts afresh.
        unsettled_ = afresh_;
    }
    line_->setPortOpen(open);
    answers_.clear();
    hasCurrent_ = heard_ = false;
    afresh_ = open && unsettled_;
    slowTail_ = slowTail_ && unsettled_;
    pacingMs_ = -1;  // another program may have changed it while the port was closed
    partialFrame_.clear();
    // txFree_ stays: what was written before a close may still be on its way.
    lastHeard_ = afresh_ ? line_->now() : std::numeric_limits<LineTime>::min() / 2;
}

void AlignedComm::Output(const QByteArray& bytes) {
    settle();
    QByteArray frame = partialFrame_;
    bool asks = false;
    for (char c : bytes) {
        frame.append(c);
        if (frame.size() < cat::kFrameBytes) continue;
        asks = asks || cat::answerLength(uint8_t(frame.at(4)), uint8_t(frame.at(3))) > 0;
        frame.clear();
    }
    // Past the bound the line never went quiet: the request goes out, but its
    // answer is given up with the rest until it does.
    const bool givenUp = asks && afresh_ && !waitForLine(false);

    const LineTime writtenAt = line_->now();
    line_->Output(bytes);
    const LineTime start = std::max(writtenAt, txFree_);
    for (int i = 0; i < bytes.size(); ++i) {
        partialFrame_.append(bytes.at(i));
        if (partialFrame_.size() < cat::kFrameBytes) continue;
        const uint8_t p4 = uint8_t(partialFrame_.at(3)), opcode = uint8_t(partialFrame_.at(4));
        partialFrame_.clear();
        if (opcode == cat::op::kPacing) pacingMs_ = std::max(pacingMs_, int(p4));
        const int length = cat::answerLength(opcode, p4);
        if (length == 0) continue;
        // The current request's reads are over; what it still owes stays owed.
        if (hasCurrent_ && answers_.back().over) answers_.pop_back();
        Answer a;
        a.opcode = opcode;
        a.length = length;
        a.inAt = start + LineTime(i + 1) * timing_.byteTime;
        a.pacingKnown = pacingMs_ >= 0;
        a.over = a.broken = givenUp;
        if (!owes()) a.clockFrom = a.inAt;
        lastHeard_ = std::max(lastHeard_, a.inAt);
        answers_.push_back(std::move(a));
        hasCurrent_ = true;
        reads_ = 0;
    }
    txFree_ = start + LineTime(bytes.size()) * timing_.byteTime;
}

QByteArray AlignedComm::Input() {
    settle();
    if (!hasCurrent_) return {};
    const int i = ++reads_ - 3;  // the answer byte this read takes
    Answer& current = answers_.back();
    if (i < 1 || i > current.length) return {};
    for (;;) {
        if (current.broken) return {};
        if (i <= checked(current)) return QByteArray(1, char(current.bytes[size_t(i - 1)]));
        if (current.over) return {};
        wait(due(answers_.front()));
        settle();
    }
}

void AlignedComm::idleWait(int ms) {
    if (!line_->portOpen()) {
        line_->idleWait(ms);
        return;
    }
    const LineTime until = line_->now() + LineTime(ms) * kMillisecond;
    do {
        wait(until);
        settle();
    } while (line_->now() < until);
}

// Takes in what has arrived, then judges the deadlines.
void AlignedComm::settle() {
    wait(line_->now());
    const LineTime now = line_->now();
    if (afresh_ && now >= quietAt()) afresh_ = slowTail_ = false;
    expire(now);
}

void AlignedComm::wait(LineTime until) {
    scratch_.clear();
    line_->receive(until, scratch_);
    for (const StampedByte& b : scratch_) sort(b);
}

void AlignedComm::sort(const StampedByte& b) {
    lastHeard_ = std::max(lastHeard_, b.at);
    heard_ = true;
    if (afresh_) return;
    if (!owes()) {
        startAfresh();
        return;
    }
    Answer& a = answers_.front();
    a.bytes.push_back(b.value);
    a.clockFrom = std::max(b.at, a.inAt);  // never before the radio could have sent it
    if (!keepsShape(a))
        startAfresh();
    else if (int(a.bytes.size()) == a.length)
        finishFront(b.at);
}

bool AlignedComm::isRecord(const Answer& a) { return a.opcode == cat::op::kStatus && a.length >= cat::kRecordBytes; }

// How many of its bytes a read may take: those its shape has been checked on.
int AlignedComm::checked(const Answer& a) {
    const int n = int(a.bytes.size());
    if (a.opcode == cat::op::kMeter) return n >= 2 ? n : 0;
    if (isRecord(a)) return n >= cat::kRecordFrequencyByte + 3 ? n : 0;
    return n;
}

bool AlignedComm::keepsShape(const Answer& a) const {
    const size_t n = a.bytes.size();
    if (a.opcode == cat::op::kMeter)
        return a.bytes.back() == (n <= size_t(cat::kMeterCopies) ? a.bytes.front() : cat::kMeterPad);
    // A record's frequency is one the radio tunes; a record shifted by a byte
    // lost or added before it is not.
    const size_t last = size_t(cat::kRecordFrequencyByte) + 3;
    if (!isRecord(a) || n != last) return true;
    uint32_t count = 0;
    for (size_t k = last - 4; k < last; ++k) count = count << 8 | a.bytes[k];
    return cat::hzFromCount(count) >= cat::kMinHz && cat::hzFromCount(count) <= cat::kMaxHz;
}

// The oldest owed answer is over at `at`; the next one's clock starts then.
void AlignedComm::finishFront(LineTime at) {
    const bool paced = answers_.front().pacingKnown;
    answers_.front().over = true;
    const bool isCurrent = hasCurrent_ && answers_.size() == 1;
    if (!isCurrent) answers_.pop_front();
    if (!owes()) return;
    Answer& next = answers_.front();
    next.clockFrom = std::max(next.inAt, at);
    // A byte too many, paced as the program never set, may come before it.
    next.pacingKnown = next.pacingKnown && paced;
}

void AlignedComm::expire(LineTime now) {
    while (owes() && now >= due(answers_.front())) {
        if (!answers_.front().pacingKnown) {
            // The radio may yet be sending it, at a pacing the program does
            // not know (its first byte lost on the line, say): nothing after
            // it is sure.
            slowTail_ = true;
            startAfresh();
            return;
        }
        finishFront(due(answers_.front()));
    }
}

void AlignedComm::startAfresh() {
    for (const Answer& a : answers_) slowTail_ = slowTail_ || (!a.over && !a.pacingKnown);
    while (answers_.size() > (hasCurrent_ ? 1u : 0u)) answers_.pop_front();
    for (Answer& a : answers_) a.over = a.broken = true;
    afresh_ = true;
}

// The first byte comes one paced byte after the radio could send it; a later
// one, two after the byte before, should the byte between be lost on the line.
LineTime AlignedComm::deadline(bool pacingKnown, int bytes) const {
    const int pacing = pacingKnown ? std::max(pacingMs_, 0) : kLongestPacingMs;
    return timing_.margin + bytes * (timing_.byteTime + LineTime(pacing) * kMillisecond);
}

LineTime AlignedComm::due(const Answer& a) const {
    return a.clockFrom + deadline(a.pacingKnown, a.bytes.empty() ? 1 : 2);
}

LineTime AlignedComm::quietAt() const { return lastHeard_ + deadline(pacingMs_ >= 0 && !slowTail_, 2); }

// Waits until the link no longer starts afresh and, for a close, nothing is
// owed and the line has been quiet for a deadline: a byte too many at the end
// of an answer comes after its count is complete, and after a reopen it would
// be taken for the next request's. False when the bound passed first; what
// is owed is then given up.
bool AlignedComm::waitForLine(bool forClose) {
    const LineTime bound = line_->now() + timing_.waitBound;
    for (settle();; settle()) {
        const bool owed = forClose && owes();
        // A close after a silent line has nothing of its own to wait for.
        const bool quiet = !afresh_ && (!forClose || line_->now() >= quietAt());
        if (!owed && (quiet || (forClose && !heard_))) return true;
        if (line_->now() >= bound) {
            startAfresh();
            return false;
        }
        wait(std::min(bound, owed ? due(answers_.front()) : quietAt()));
    }
}

}  // namespace qv7m
