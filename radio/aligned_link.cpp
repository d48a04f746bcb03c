// SPDX-License-Identifier: GPL-3.0-or-later
#include "radio/aligned_link.h"

#include "core/runtime_error.h"

#include <algorithm>
#include <limits>

namespace qv7m {

namespace {
// The longest pacing the radio takes (opcode 0E, P4 = 0..255 ms).
constexpr int kLongestPacingMs = 255;
}  // namespace

AlignedLink::AlignedLink(std::unique_ptr<Line> line) : AlignedLink(std::move(line), Timing{}) {}

AlignedLink::AlignedLink(std::unique_ptr<Line> line, const Timing& timing) : line_(std::move(line)), timing_(timing) {}

void AlignedLink::open(int16_t port) {
    line_->open(port, LineSettings{});
    answers_.clear();
    heard_ = false;
    afresh_ = unsettled_;
    slowTail_ = slowTail_ && unsettled_;
    pacingMs_ = -1;  // another program may have changed it while the port was closed
    leastPacingMs_ = -1;
    // txFree_ stays: what was written before a close may still be on its way.
    lastHeard_ = afresh_ ? line_->now() : std::numeric_limits<LineTime>::min() / 2;
}

void AlignedLink::close() {
    if (!line_->isOpen()) return;
    // The radio goes on with an answer whether or not the port is open, and
    // what it sends meanwhile is lost: let the owed answers end first, and
    // see that nothing more comes.
    try {
        waitForLine(true);
    } catch (const RuntimeError&) {
        line_->close();
        answers_.clear();
        throw;
    }
    // A line not yet quiet after a fault may still be carrying an answer
    // when the port is open again: the next session starts afresh.
    unsettled_ = afresh_;
    line_->close();
    answers_.clear();
}

void AlignedLink::send(const cat::Frame& frame) { write(frame, false); }

void AlignedLink::ask(const cat::Frame& request) {
    if (Answer* ahead = find(Role::Ahead)) {
        if (ahead->frame == request) {
            if (Answer* current = find(Role::Current)) release(*current);
            ahead->role = Role::Current;
            prune();
            return;
        }
        release(*ahead);
    }
    write(request, cat::answerLength(request) > 0);
}

void AlignedLink::askAhead(const cat::Frame& request) {
    if (Answer* ahead = find(Role::Ahead)) release(*ahead);
    write(request, cat::answerLength(request) > 0, Role::Ahead);
}

bool AlignedLink::hasAhead() const { return find(Role::Ahead) != nullptr; }

AlignedLink::Answer* AlignedLink::find(Role role) {
    for (Answer& a : answers_)
        if (a.role == role) return &a;
    return nullptr;
}

const AlignedLink::Answer* AlignedLink::find(Role role) const {
    for (const Answer& a : answers_)
        if (a.role == role) return &a;
    return nullptr;
}

void AlignedLink::release(Answer& a) {
    a.role = Role::Owed;
    prune();
}

void AlignedLink::prune() {
    while (!answers_.empty() && answers_.front().over && answers_.front().role == Role::Owed) answers_.pop_front();
}

AlignedLink::Answer* AlignedLink::owedFront() {
    for (Answer& a : answers_)
        if (!a.over) return &a;
    return nullptr;
}

void AlignedLink::write(const cat::Frame& frame, bool asks, Role role) {
    // What has come so far, and the deadlines passed, decide whether a
    // request must wait; a frame that asks nothing goes out as it is.
    if (asks) settle();
    // Past the bound the line never went quiet: the request goes out, but its
    // answer is given up with the rest until it does.
    const bool givenUp = asks && afresh_ && !waitForLine(false);

    const LineTime writtenAt = line_->now();
    line_->write(frame.data(), frame.size());
    const LineTime start = std::max(writtenAt, txFree_);
    txFree_ = start + LineTime(frame.size()) * timing_.byteTime;
    const uint8_t opcode = frame[4];
    if (opcode == cat::op::kPacing) {
        pacingMs_ = std::max(pacingMs_, int(frame[3]));
        leastPacingMs_ = leastPacingMs_ < 0 ? int(frame[3]) : std::min(leastPacingMs_, int(frame[3]));
    }
    if (!asks) return;
    // The current request is done with; what it still owes stays owed.
    if (role == Role::Current)
        if (Answer* current = find(Role::Current)) release(*current);
    Answer a;
    a.role = role;
    a.frame = frame;
    a.opcode = opcode;
    a.length = cat::answerLength(frame);
    a.inAt = txFree_;
    a.pacingKnown = a.askedPaced = pacingMs_ >= 0;
    a.over = a.broken = givenUp;
    if (!owes()) a.clockFrom = a.inAt;
    lastHeard_ = std::max(lastHeard_, a.inAt);
    answers_.push_back(std::move(a));
}

std::optional<uint8_t> AlignedLink::take(int i) {
    settle();
    Answer* found = find(Role::Current);
    if (!found) return std::nullopt;
    // Stays in place: only answers before it leave the queue meanwhile.
    Answer& current = *found;
    if (i < 1 || i > current.length) return std::nullopt;
    bool slept = false;
    for (;;) {
        if (current.broken) return std::nullopt;
        if (i <= checked(current)) return current.bytes[size_t(i - 1)];
        if (current.over) return std::nullopt;
        // Rather than wake for every byte on the way, the line waits for all
        // the bytes still needed where it can. Elsewhere: the radio sends one
        // byte after another, each at least a byte time and its pacing after
        // the one before, so sleep until the last one needed could first
        // have come (once: from then on the bytes themselves are the clock),
        // then wait for it.
        const int ahead = bytesAhead(current, i);
        const bool together = line_->wakeAfterBytes(std::max(ahead, 1));
        if (ahead >= 2 && !slept && !together) {
            slept = true;
            const LineTime now = line_->now();
            const LineTime earliest =
                now + LineTime(ahead - 1) * timing_.byteTime + LineTime(ahead - 2) * surePacing() * kMillisecond;
            const LineTime until = std::min(earliest, due(*owedFront()));
            if (until > now) {
                line_->sleep(until - now);
                settle();
                continue;
            }
        }
        wait(due(*owedFront()));
        settle();
    }
}

int AlignedLink::bytesAhead(const Answer& current, int i) const {
    int ahead = 0;
    for (const Answer& a : answers_) {
        if (&a == &current) break;
        if (!a.over) ahead += a.length - int(a.bytes.size());
    }
    int needed = i;
    if (current.opcode == cat::op::kMeter) needed = std::max(i, 2);
    if (isRecord(current)) needed = std::max(i, cat::kRecordFrequencyByte + 3);
    return ahead + std::max(0, needed - int(current.bytes.size()));
}

int AlignedLink::surePacing() const {
    // An answer asked before the program set the pacing may come at any. A
    // byte of an earlier answer straggling in only comes later still.
    for (const Answer& a : answers_) {
        if (!a.over && !a.askedPaced) return 0;
    }
    return std::max(leastPacingMs_, 0);
}

void AlignedLink::pause(int ms) {
    // Nothing is needed from the line meanwhile: sleep through, then take in
    // what came. A byte so taken is stamped late, which only ever gives its
    // answer more time and the line longer to fall quiet.
    line_->sleep(LineTime(ms) * kMillisecond);
    if (line_->isOpen()) settle();
}

// Takes in what has arrived, then judges the deadlines.
void AlignedLink::settle() {
    wait(line_->now());
    const LineTime now = line_->now();
    if (afresh_ && now >= quietAt()) afresh_ = slowTail_ = false;
    expire(now);
}

void AlignedLink::wait(LineTime until) {
    scratch_.clear();
    line_->receive(until, scratch_);
    for (const StampedByte& b : scratch_) sort(b);
}

void AlignedLink::sort(const StampedByte& b) {
    lastHeard_ = std::max(lastHeard_, b.at);
    heard_ = true;
    if (afresh_) return;
    Answer* front = owedFront();
    if (!front) {
        startAfresh();
        return;
    }
    Answer& a = *front;
    a.bytes.push_back(b.value);
    a.clockFrom = std::max(b.at, a.inAt);  // never before the radio could have sent it
    if (!keepsShape(a))
        startAfresh();
    else if (int(a.bytes.size()) == a.length)
        finishFront(b.at);
}

bool AlignedLink::isRecord(const Answer& a) { return a.opcode == cat::op::kStatus && a.length >= cat::kRecordBytes; }

// How many of its bytes a read may take: those its shape has been checked on.
int AlignedLink::checked(const Answer& a) {
    const int n = int(a.bytes.size());
    if (a.opcode == cat::op::kMeter) return n >= 2 ? n : 0;
    if (isRecord(a)) return n >= cat::kRecordFrequencyByte + 3 ? n : 0;
    return n;
}

bool AlignedLink::keepsShape(const Answer& a) const {
    if (a.opcode == cat::op::kMeter) return cat::meterShapeHolds(a.bytes.data(), a.bytes.size());
    // A record's frequency is one the radio tunes; a record shifted by a byte
    // lost or added before it is not.
    if (!isRecord(a) || a.bytes.size() != size_t(cat::kRecordFrequencyByte) + 3) return true;
    return cat::recordFrequencyHolds(cat::recordCount(a.bytes.data()));
}

// The oldest owed answer is over at `at`; the next one's clock starts then.
void AlignedLink::finishFront(LineTime at) {
    Answer& front = *owedFront();
    const bool paced = front.pacingKnown;
    front.over = true;
    prune();
    Answer* owed = owedFront();
    if (!owed) return;
    Answer& next = *owed;
    next.clockFrom = std::max(next.inAt, at);
    // A byte too many, paced as the program never set, may come before it.
    next.pacingKnown = next.pacingKnown && paced;
}

void AlignedLink::expire(LineTime now) {
    while (owes() && now >= due(*owedFront())) {
        if (!owedFront()->pacingKnown) {
            // The radio may yet be sending it, at a pacing the program does
            // not know (its first byte lost on the line, say): nothing after
            // it is sure.
            slowTail_ = true;
            startAfresh();
            return;
        }
        finishFront(due(*owedFront()));
    }
}

void AlignedLink::startAfresh() {
    for (const Answer& a : answers_) slowTail_ = slowTail_ || (!a.over && !a.pacingKnown);
    // Only the answers a read may still take stay, given up. What is only
    // owed leads the queue; popping it leaves the rest where they are.
    while (!answers_.empty() && answers_.front().role == Role::Owed) answers_.pop_front();
    for (Answer& a : answers_) a.over = a.broken = true;
    afresh_ = true;
}

// The first byte comes one paced byte after the radio could send it; a later
// one, two after the byte before, should the byte between be lost on the line.
LineTime AlignedLink::deadline(bool pacingKnown, int bytes) const {
    const int pacing = pacingKnown ? std::max(pacingMs_, 0) : kLongestPacingMs;
    return timing_.margin + bytes * (timing_.byteTime + LineTime(pacing) * kMillisecond);
}

LineTime AlignedLink::due(const Answer& a) const {
    return a.clockFrom + deadline(a.pacingKnown, a.bytes.empty() ? 1 : 2);
}

LineTime AlignedLink::quietAt() const { return lastHeard_ + deadline(pacingMs_ >= 0 && !slowTail_, 2); }

// Waits until the link no longer starts afresh and, for a close, nothing is
// owed and the line has been quiet for a deadline: a byte too many at the end
// of an answer comes after its count is complete, and after a reopen it would
// be taken for the next request's. False when the bound passed first; what
// is owed is then given up.
bool AlignedLink::waitForLine(bool forClose) {
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
        line_->wakeAfterBytes(1);  // each byte puts off the quiet line
        wait(std::min(bound, owed ? due(*owedFront()) : quietAt()));
    }
}

}  // namespace qv7m
