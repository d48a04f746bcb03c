// The alignment layer on timed byte streams: the model radio answers on a
// virtual clock, and the link's reads must find the bytes the program's fixed
// positions expect, whatever the radio and the machine do around them.

#include "radio/alignedcomm.h"
#include "radio/radiolink.h"
#include "virtual_line.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

using namespace qv7m;
using namespace qv7m::test;

namespace {

// A meter reading per answer number that is never the pad byte F7.
uint8_t reading(int answer) { return uint8_t(0x10 + answer % 200); }
QByteArray byte(int v) { return QByteArray(1, char(v)); }
double ms(LineTime t) { return double(t) / double(kMillisecond); }

struct Stack {
    FakeRadio radio;
    VirtualLine* line = new VirtualLine(radio);
    std::unique_ptr<AlignedComm> comm = std::make_unique<AlignedComm>(std::unique_ptr<RawLine>(line));
    RadioLink link{*comm};
    int answer = 0;  // the number of the last step's answer

    Stack() {
        radio.meter = reading;
        link.Befehl(11);
    }
    // One sweep step as the scan makes it: reads 4 and 5 must take the reading.
    ::testing::AssertionResult step(int32_t frequency = 1425000) {
        link.Sleep(10);
        link.konvertiere(frequency);
        link.Befehl(1);
        answer = radio.answered;
        link.lesemeter();
        const QByteArray want = byte(reading(answer)), got = link.rxBuffer[4] + link.rxBuffer[5];
        if (got == want + want) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "answer " << answer << ": reads 4 and 5 took " << got.toHex().data();
    }
    // A status read: reads 4 to 16 must take record bytes 1 to 13.
    ::testing::AssertionResult status(int32_t frequency) {
        radio.frequency = frequency;
        link.ReadStatus();
        const auto record = FakeRadio::statusRecord(frequency);
        for (int k = 9; k <= 21; ++k)
            if (link.rxBuffer[k] != byte(*record[size_t(k - 9)]))
                return ::testing::AssertionFailure() << "read " << k - 5 << " took " << link.rxBuffer[k].toHex().data();
        if (link.centerFreq == frequency) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "decoded " << link.centerFreq;
    }
};

struct Aligned : ::testing::Test, Stack {};

}  // namespace

TEST_F(Aligned, MeterAnswerWhateverPacingTheRadioHadBeforeTheProgramSetsIt) {
    for (int pacing : {0, 15, 40, 255}) {
        SCOPED_TRACE(pacing);
        radio.pacingMs = pacing;  // left by someone else; the program's own comes after the request
        link.meterValue = -1;
        step();
        EXPECT_EQ(link.meterValue, reading(answer));  // never the pad
        EXPECT_EQ(link.rxBuffer[4], byte(reading(answer)));
        EXPECT_TRUE(link.rxBuffer[1].isEmpty() && link.rxBuffer[2].isEmpty() && link.rxBuffer[3].isEmpty());
        line->busy(kMillisecond * pacing * 4);
        EXPECT_TRUE(step());  // paced as the program says now
    }
}

TEST_F(Aligned, BackToBackStepsStayInStepAtTheLinesLimit) {
    LineTime start = 0;
    for (int i = 0; i < 100; ++i) {
        if (i == 10) start = line->clock;
        ASSERT_TRUE(step(1425000 + 10 * i)) << "step " << i;
    }
    EXPECT_NEAR(ms(line->clock - start) / 90.0, 80.21, 0.3);  // 35 bytes on the wire a step
    EXPECT_EQ(radio.frames.size(), 100u * 7u);
}

TEST_F(Aligned, AWireFallenBehindTheWritesNeverMakesThePadAReading) {
    // Once held up, the wire stays behind the program's writes at the line's
    // limit: each pad comes when the next answer could begin by the
    // program's reckoning, and only the answer's shape tells them apart.
    for (LineTime lag = 1; lag <= 30; ++lag) {
        SCOPED_TRACE(lag);
        Stack s;
        for (int i = 0; i < 60; ++i) {
            if (i == 5) s.radio.holdUpWire(lag * kMillisecond);
            ASSERT_TRUE(s.step(1425000 + 10 * i)) << "step " << i;
        }
    }
}

TEST_F(Aligned, AByteHandedOverLateRightBeforeTheNextIsNoPlaceWhereAnswersMeet) {
    // Byte 9 of the record reaches the program a step late, a fraction of a
    // millisecond before byte 10, in reads of its own.
    EXPECT_TRUE(step());  // the pacing is the program's own from here on
    int n = 0;
    radio.handOverDelay = [&] { return ++n == 9 ? 17 * kMillisecond : 0; };
    EXPECT_TRUE(status(1425000));
    EXPECT_TRUE(step());
    EXPECT_TRUE(step());
}

TEST(RadioRunningLate, NoStepTakesAnotherAnswersByteNorAStatusReadItsFrequency) {
    // The rest of the answer and every answer after it come late by as much:
    // only the meter answer's shape (four copies, then F7) can place them.
    for (size_t at = 1; at <= 4; ++at)
        for (int lateMs : {9, 14, 20, 26, 32}) {  // up to what a wait for a silent radio allows
            SCOPED_TRACE(testing::Message() << "byte " << at + 1 << " late by " << lateMs << " ms");
            Stack s;
            s.radio.stall = [&](int index, size_t i) {
                return (index == 6 || index == 9) && i == at ? lateMs * kMillisecond : 0;
            };
            for (int i = 0; i < 14; ++i) {
                s.link.meterValue = -1;
                s.step(1425000 + 10 * i);
                const bool drawnTrue = s.link.meterValue == reading(s.answer) && s.link.rxBuffer[4] != byte(0xF7);
                EXPECT_TRUE(drawnTrue) << "step " << i << " reads 4 and 5 took "
                                       << (s.link.rxBuffer[4] + s.link.rxBuffer[5]).toHex().data();
                if (!drawnTrue) break;
                if (i == 9) {  // a sweep ends: the port is closed and opened again before its status read
                    s.link.Befehl(10);
                    s.link.Befehl(11);
                    const auto decoded = s.status(703500 + lateMs);
                    EXPECT_TRUE(decoded);
                    if (!decoded) break;
                }
            }
        }
}

TEST(RadioRunningLate, ARecordStartedLateAfterAMeterAnswersPadIsReadWhole) {
    // The pad has ended the meter answer before the status request is in;
    // the record's first byte comes late, the rest on the radio's cadence.
    for (int busyMs = 30; busyMs <= 48; busyMs += 3)
        for (int lateMs = 4; lateMs <= 8; ++lateMs) {
            SCOPED_TRACE(testing::Message() << "busy " << busyMs << " ms, late by " << lateMs << " ms");
            Stack s;
            for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.step());
            s.radio.stall = [&](int index, size_t i) {
                return index == 3 && i < 2 ? (i == 0 ? 1 : -1) * lateMs * kMillisecond : 0;
            };
            s.line->busy(busyMs * kMillisecond);
            EXPECT_TRUE(s.status(703500));
            EXPECT_TRUE(s.step());
        }
}

TEST(PortClosed, ATailDueWhileClosedIsLostAndNoRecordByteIsTakenForIt) {
    // Between two sweeps the port is closed: the rest of the last meter answer
    // goes to nobody, and the record's first byte may equal its reading.
    for (int closedMs = 40; closedMs <= 110; closedMs += 5) {
        SCOPED_TRACE(testing::Message() << "closed for " << closedMs << " ms");
        Stack s;
        for (int i = 0; i < 3; ++i) ASSERT_TRUE(s.step());
        const uint8_t last = reading(s.answer);
        s.radio.tamper = [&](int, FakeRadio::Answer& a, LineTime&) {
            if (a.size() == 16) a[0] = last;
        };
        s.link.Befehl(10);
        s.line->busy(closedMs * kMillisecond);
        s.link.Befehl(11);
        s.radio.frequency = 703500;
        s.link.ReadStatus();
        EXPECT_EQ(s.link.rxBuffer[9], byte(last));
        EXPECT_EQ(s.link.centerFreq, 703500);
    }
}

TEST_F(Aligned, APadWithNothingAfterItIsNoReading) {
    // Only the pad comes where the answer begins (the copies lost, or taken
    // for another answer's): it must not become the reading.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 2) a.erase(a.begin(), a.begin() + 4);
    };
    for (int i = 0; i < 4; ++i) {
        link.meterValue = -1;
        const auto inStep = step();
        if (answer == 2)
            EXPECT_EQ(link.meterValue, -1);
        else
            EXPECT_TRUE(inStep) << answer;
    }
}

TEST_F(Aligned, OnlyTheAnswerReadsWait) {
    radio.noise(1 * kMillisecond, 0x55);
    line->busy(5 * kMillisecond);
    EXPECT_TRUE(comm->Input().isEmpty());  // no request: nothing, at once
    EXPECT_EQ(line->waits, 0);
    comm->Output(RadioLink::meterFrame());
    const LineTime start = line->clock;
    for (int r = 1; r <= 3; ++r) {
        EXPECT_TRUE(comm->Input().isEmpty());
        comm->Output(RadioLink::followUpFrame());
    }
    EXPECT_EQ(line->clock, start);
    EXPECT_EQ(comm->Input(), byte(0x10));
    // As soon as it is in: request, one byte time, latency.
    EXPECT_NEAR(ms(line->clock - start), 5 * 2.2917 + 2.2917 + 3.0, 0.01);
}

TEST_F(Aligned, StatusRecordUnpacedAfterPowerUpOrTakenInLate) {
    radio.pacingMs = 0;  // the whole record comes before any follow-up frame has set a pacing
    EXPECT_TRUE(status(1425000));
    // The wait for record byte 1 wakes 40 ms late (a loaded machine) with
    // three bytes read in one go: their shared stamp says nothing of their
    // spacing, and none may be dropped for it.
    for (int32_t f : {1425000, 703500}) {
        line->stallInNextWait = 40 * kMillisecond;
        EXPECT_TRUE(status(f)) << f;
    }
}

TEST_F(Aligned, RadioSwitchedOffAndOnBetweenTwoSessions) {
    ASSERT_TRUE(status(1425000));
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(step()) << i;
    // Off the line a while, the radio switched off and on: paced as after
    // power-up until the program says otherwise.
    auto restart = [&] {
        link.Befehl(10);
        line->busy(2000 * kMillisecond);
        radio.pacingMs = 0;
        link.Befehl(11);
    };
    restart();
    link.Befehl(3);
    EXPECT_TRUE(status(703500)) << "the start's status read";
    link.Befehl(10);
    link.Befehl(11);
    EXPECT_TRUE(status(703500)) << "the first sweep's";
    for (int i = 0; i < 10; ++i) EXPECT_TRUE(step(703000 + 10 * i)) << i;
    restart();  // then the probe: one meter read
    const int a = radio.answered;
    link.lesemeter();
    EXPECT_EQ(link.rxBuffer[4] + link.rxBuffer[5], byte(reading(a)) + byte(reading(a)));
}

TEST_F(Aligned, ADroppedOrAddedByteSpoilsNoOtherAnswer) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 3) a[0].reset();                                             // the first copy lost
        if (index == 6) a[4].reset();                                             // the pad
        if (index == 9) a[1].reset(), a[2].reset();                               // two copies
        if (index == 12) a[0].reset(), a[1].reset(), a[2].reset(), a[3].reset();  // all but the pad
        if (index == 14) a.resize(1);                                             // stops after one
        if (index == 17) a.push_back(uint8_t(0x99));                              // one after the pad
        if (index == 20) a.insert(a.begin(), uint8_t(0x99));                      // before the first copy
        if (index == 23) a.insert(a.begin() + 2, uint8_t(0x99));                  // in the middle
        if (index == 26) a.push_back(0x99), a.push_back(0x98);                    // two after the pad
    };
    for (int i = 0; i < 31; ++i) {
        link.meterValue = -1;
        const auto inStep = step();
        SCOPED_TRACE(answer);
        if (answer == 12) {
            EXPECT_EQ(link.meterValue, -1);  // its only byte comes in the fifth slot, long after the first was due
        } else if (answer == 3 || answer == 9 || answer == 20 || answer == 27) {
            // Read 4 misses a copy, or takes the added byte when it comes first
            // or the second of two added after the previous answer.
            EXPECT_EQ(link.meterValue, reading(answer));
        } else if (answer == 14) {
            EXPECT_EQ(link.rxBuffer[4], byte(reading(answer)));
            EXPECT_TRUE(link.rxBuffer[5].isEmpty());
        } else {
            EXPECT_TRUE(inStep);
        }
    }
}

TEST_F(Aligned, ADroppedStatusByteLeavesTheNextReadsInStep) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a[13].reset();  // after the frequency: no harm at all
        if (index == 2) a[0].reset();   // before it: this record reads shifted
        if (index == 4) a[15].reset();  // the last byte
    };
    EXPECT_TRUE(status(1425000));
    EXPECT_TRUE(step());
    link.ReadStatus();
    link.meterValue = -1;
    step();  // may come shifted, but its reading is still the radio's, never the pad
    EXPECT_EQ(link.meterValue, reading(answer));
    EXPECT_TRUE(status(440000));
    EXPECT_TRUE(step());
}

TEST_F(Aligned, AnAddedByteAfterAStatusRecordShiftsNothing) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index % 2 == 1) a.push_back(uint8_t(0x77));
    };
    for (int i = 0; i < 6; ++i) {
        EXPECT_TRUE(step()) << i;
        line->busy(kMillisecond * (15 + 7 * i));  // the status request comes in at varying moments
        ASSERT_TRUE(status(1425000 + 1000 * i)) << i;
    }
}

TEST_F(Aligned, AByteBeforeTheRequestIsInIsNeverItsAnswer) {
    // An added byte stretches answer 2 so that its last two bytes arrive
    // around the moment the next meter request is in: the one before is the
    // previous answer's, whatever its cadence suggests, and the pad after it
    // must not become the reading.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 1) a.insert(a.begin(), uint8_t(0x99));
    };
    link.lesemeter();
    link.lesemeter();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(step());
}

TEST_F(Aligned, ALateByteInThePreviousRecordsTailDoesNotShiftTheNext) {
    // The bytes after the late one still come on the radio's own cadence and
    // are that record's, not the next one's.
    for (LineTime late : {LineTime(0), 3100 * LineTime(1000), 6 * kMillisecond}) {
        radio.frequency = 1425000;
        link.ReadStatus();
        ASSERT_EQ(radio.outgoing.size(), 3u) << "record bytes 14-16 are still to come";
        radio.outgoing.front().at += late;
        radio.frequency = 703500;
        link.ReadStatus();
        EXPECT_EQ(link.centerFreq, 703500) << ms(late);
        line->busy(500 * kMillisecond);
    }
}

TEST_F(Aligned, ALateByteInTheRecordDoesNotThrowAwayWhatCameBefore) {
    // The byte after the late one, on time, comes closer to it than the
    // cadence allows: that must not be taken for the start of another answer.
    for (int late : {1, 2, 3, 4, 7, 9}) {
        for (LineTime by : {3800 * LineTime(1000), 8 * kMillisecond, 12 * kMillisecond}) {
            radio.frequency = 1425000 + late;
            comm->Output(RadioLink::statusFrame());
            ASSERT_EQ(radio.outgoing.size(), 16u);
            radio.outgoing[size_t(late)].at += by;
            for (int k = 6; k <= 21; ++k) {
                link.rxBuffer[k] = comm->Input();
                comm->Output(RadioLink::followUpFrame());
            }
            link.DecodeFrequency();
            EXPECT_EQ(link.centerFreq, radio.frequency) << "record byte " << late + 1 << " late by " << ms(by);
            line->busy(500 * kMillisecond);
        }
    }
}

TEST_F(Aligned, ALateAnswerIsWaitedForOneTooLateIsNotTakenByTheNext) {
    radio.tamper = [](int index, FakeRadio::Answer&, LineTime& latency) {
        if (index == 1) latency = 60 * kMillisecond;
    };
    step();
    link.meterValue = -1;
    step();
    EXPECT_EQ(link.meterValue, -1);  // its reads gave up
    line->busy(300 * kMillisecond);  // a slow screen: the late answer comes in meanwhile
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(step()) << i;
    radio.latency = 30 * kMillisecond;
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(step()) << i;
    EXPECT_TRUE(status(1425000));
}

TEST_F(Aligned, ASilentRadioCostsOneShortWaitARequest) {
    radio.tamper = [](int, FakeRadio::Answer& a, LineTime&) { a.clear(); };
    link.Befehl(10);
    LineTime start = line->clock;
    link.meterValue = -1;  // the probe: open, one meter read, close
    link.Befehl(11);
    link.lesemeter();
    link.Befehl(10);
    EXPECT_EQ(link.meterValue, -1);
    EXPECT_EQ(line->waits, 1);  // read 4 waits; read 5 knows the answer has gone silent
    EXPECT_LT(ms(line->clock - start), 100.0);
    link.Befehl(11);
    start = line->clock;
    link.ReadStatus();
    EXPECT_EQ(link.centerFreq, 0);
    EXPECT_LT(ms(line->clock - start), 100.0);
}

TEST_F(Aligned, AByteStreamOnTheLineDoesNotHoldAReadUp) {
    // Another device on the port (a GPS at 4800 baud) sends without a pause:
    // the bytes come closer than any answer's, and the reads must give up in time.
    const LineTime streamEnd = 5000 * kMillisecond;
    for (LineTime t = kByteTime; t < streamEnd; t += kByteTime) radio.noise(t, uint8_t('$'));
    while (line->clock < streamEnd) {
        const LineTime before = line->clock;
        if (radio.answered % 5 == 4)
            link.ReadStatus();
        else
            step();
        ASSERT_LT(ms(line->clock - before), 500.0);
    }
    line->busy(100 * kMillisecond);
    for (int i = 0; i < 3; ++i) {
        step();
        EXPECT_EQ(link.meterValue, reading(answer));
    }
}

TEST_F(Aligned, ASilentAnswerAfterAnUndecidedByteEndsItsReads) {
    // The previous answer's pad comes when the current answer could begin,
    // and nothing follows: the wait for the byte after it must end even when
    // the current answer's own time is up first.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a[1].reset();
        if (index == 3) a.clear();
    };
    link.lesemeter();
    radio.pacingMs = 20;  // left so by another program, until the next follow-up frame
    radio.latency = 13810 * LineTime(1000);
    link.lesemeter();
    link.lesemeter();
    const LineTime before = line->clock;
    EXPECT_NO_THROW(link.lesemeter());
    EXPECT_LT(ms(line->clock - before), 200.0);
}

TEST_F(Aligned, ProgramBusyBetweenStepsStampsLateButStaysInStep) {
    std::mt19937 rng(3);
    for (int i = 0; i < 40; ++i) {
        ASSERT_TRUE(step()) << i;
        line->busy(LineTime(rng() % 60) * kMillisecond);
    }
}

TEST_F(Aligned, EveryKindOfFaultAndNoiseAtRandomThenBackInStep) {
    // Nothing throws, every request returns in bounded time, and once the
    // radio behaves again so do the readings.
    std::mt19937 rng(11), noise(7);
    for (LineTime t = 0; t < 20000 * kMillisecond; t += LineTime(noise() % 200 + 1) * kMillisecond)
        radio.noise(t, uint8_t(noise()));
    bool faulty = true;
    radio.tamper = [&](int, FakeRadio::Answer& a, LineTime& latency) {
        if (!faulty) return;
        switch (rng() % 7) {
        case 0: a.erase(a.begin() + long(rng() % a.size())); break;                        // shorter
        case 1: a.insert(a.begin() + long(rng() % (a.size() + 1)), uint8_t(rng())); break;  // longer
        case 2: a[rng() % a.size()].reset(); break;                                          // lost on the line
        case 3: for (auto& b : a) b = uint8_t(rng()); break;                                 // garbage
        case 4: a.clear(); break;                                                            // silent
        case 5: latency = LineTime(rng() % 40) * kMillisecond; break;                        // slow
        default: break;
        }
    };
    for (int i = 0; i < 300; ++i) {
        const LineTime before = line->clock;
        if (i % 25 == 0)
            link.ReadStatus();
        else
            step();
        ASSERT_LT(line->clock - before, 1000 * kMillisecond) << i;
        if (rng() % 3 == 0) line->busy(LineTime(rng() % 50) * kMillisecond);
    }
    ASSERT_GT(line->clock, 20000 * kMillisecond) << "past the noise";
    faulty = false;
    line->busy(1000 * kMillisecond);
    for (int i = 0; i < 20; ++i) EXPECT_TRUE(step()) << i;
    EXPECT_TRUE(status(2999999));
}

TEST(LateBytes, EveryReadStillTakesItsByte) {
    // Answer bytes handed over late, never early nor overtaking: each up to
    // `any` ms, one in eight up to `spike` ms. Up to 5 ms throughout costs no
    // reading; single bytes later than that may, a few in ten thousand.
    struct {
        int any, spike, wrongPer10000;
    } const cases[] = {{0, 0, 0}, {2, 0, 0}, {5, 0, 0}, {1, 6, 10}, {1, 8, 40}};
    for (const auto& c : cases) {
        int requests = 0, wrong = 0, late = 0;
        auto count = [&](bool right) { ++requests, wrong += !right; };
        // The start of a scan and three sweeps of 40 steps, on 40 differently late lines.
        for (unsigned seed = 1; seed <= 40; ++seed) {
            std::mt19937 rng(seed);
            Stack s;
            s.line->marksBatches = false;
            s.radio.handOverDelay = [&] {
                const int maxMs = rng() % 8 == 0 ? std::max(c.any, c.spike) : c.any;
                const LineTime t = LineTime(rng() % unsigned(maxMs * 10 + 1)) * kMillisecond / 10;
                late += t > 3 * kMillisecond;
                return t;
            };
            s.link.Befehl(3);
            count(s.status(1425000));
            s.link.Befehl(10);
            for (int sweep = 0; sweep < 3; ++sweep) {
                s.link.Befehl(11);
                count(s.status(1425000 + 1000 * sweep));
                for (int i = 0; i < 40; ++i) count(s.step(1424500 + 1000 * sweep + 10 * i));
                s.link.Befehl(10);
            }
        }
        std::printf("%d/%d ms late: %d requests, %d bytes more than 3 ms late, %d read wrong\n", c.any, c.spike,
                    requests, late, wrong);
        if (c.spike > 3 || c.any > 3) {
            EXPECT_GT(late, 100) << "the line did hand bytes over late";
        }
        EXPECT_LE(wrong * 10000, c.wrongPer10000 * requests) << c.any << "/" << c.spike;
    }
}
