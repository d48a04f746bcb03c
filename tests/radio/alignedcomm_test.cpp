// The alignment layer on timed byte streams: the model radio answers on a
// virtual clock, and the link's reads must find the bytes the program's fixed
// positions expect, whatever the radio does to the answers around them.

#include "radio/alignedcomm.h"
#include "radio/radiolink.h"
#include "virtual_line.h"

#include <gtest/gtest.h>

#include <random>

using namespace qv7m;
using namespace qv7m::test;

namespace {

// A meter reading per answer number that is never the pad byte F7.
uint8_t reading(int answer) { return uint8_t(0x10 + answer % 200); }

struct Aligned : ::testing::Test {
    FakeRadio radio;
    VirtualLine* line = nullptr;
    std::unique_ptr<AlignedComm> comm;
    std::unique_ptr<RadioLink> link;

    void SetUp() override {
        radio.meter = reading;
        auto l = std::make_unique<VirtualLine>(radio);
        line = l.get();
        comm = std::make_unique<AlignedComm>(std::move(l));
        link = std::make_unique<RadioLink>(*comm);
        link->Befehl(11);
    }

    // One sweep step as the scan makes it; returns the answer number it asked for.
    int step(int32_t frequency = 1425000) {
        link->Sleep(10);
        link->konvertiere(frequency);
        link->Befehl(1);
        const int answer = radio.answered;
        link->lesemeter();
        return answer;
    }

    double ms(LineTime t) const { return double(t) / double(kMillisecond); }
};

}  // namespace

TEST_F(Aligned, MeterAnswerGivesTheReadingNeverThePad) {
    radio.meter = [](int) { return uint8_t(0x42); };
    for (int i = 0; i < 20; ++i) {
        link->meterValue = -1;
        step();
        ASSERT_EQ(link->meterValue, 0x42) << "step " << i;
        EXPECT_TRUE(link->rxBuffer[1].isEmpty() && link->rxBuffer[2].isEmpty() && link->rxBuffer[3].isEmpty());
        EXPECT_EQ(link->rxBuffer[4], QByteArray("\x42"));
        EXPECT_EQ(link->rxBuffer[5], QByteArray("\x42"));
    }
}

TEST_F(Aligned, WhateverPacingTheRadioHadBeforeTheProgramSetsIt) {
    for (int pacing : {0, 15, 40, 255}) {
        SCOPED_TRACE(pacing);
        radio.pacingMs = pacing;  // left by someone else; the program's own comes after the request
        int answer = step();
        EXPECT_EQ(link->meterValue, reading(answer));
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        line->busy(kMillisecond * pacing * 4);
        answer = step();  // paced as the program says now, and in step
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        EXPECT_EQ(link->rxBuffer[5], QByteArray(1, char(reading(answer))));
    }
}

TEST_F(Aligned, StatusRecordGivesItsFrequency) {
    for (int32_t f : {1425000, 703500, 180000, 2999999}) {
        radio.frequency = f;
        link->ReadStatus();
        EXPECT_EQ(link->centerFreq, f);
    }
}

TEST_F(Aligned, StatusRecordSurvivesTheProgramWakingLate) {
    // On a loaded machine the wait for record byte 1 wakes 40 ms late, with
    // three bytes waiting that are read in one go: their shared stamp says
    // nothing about their spacing, and none of them may be dropped for it.
    for (int32_t f : {1425000, 703500}) {
        radio.frequency = f;
        line->stallInNextWait = 40 * kMillisecond;
        link->ReadStatus();
        EXPECT_EQ(link->centerFreq, f);
        EXPECT_EQ(link->rxBuffer[9], QByteArray(1, '\x11'));
    }
}

TEST_F(Aligned, StatusRecordFromARadioStillUnpacedAfterPowerUp) {
    // The first request after the radio came on: its pacing is 0, so the whole
    // record arrives byte after byte before any follow-up frame has set one.
    radio.pacingMs = 0;
    radio.frequency = 1425000;
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 1425000);
    EXPECT_EQ(link->rxBuffer[9], QByteArray(1, '\x11')) << "read 4 takes record byte 1";
    EXPECT_EQ(link->rxBuffer[21], QByteArray(1, char(0xC0 + 12))) << "read 16 takes record byte 13";
}

TEST_F(Aligned, BackToBackStepsAtLineSpeedStayInStepAndReachTheLimit) {
    std::vector<LineTime> ends;
    for (int i = 0; i < 100; ++i) {
        const int answer = step(1425000 + 10 * i);
        ASSERT_EQ(link->meterValue, reading(answer)) << "step " << i;
        ASSERT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer)))) << "step " << i;
        ends.push_back(line->clock);
    }
    const double perStep = ms(ends.back() - ends[9]) / 90.0;
    RecordProperty("step_ms", std::to_string(perStep));
    // 35 bytes on the wire: 80.2 ms is the line's limit.
    EXPECT_NEAR(perStep, 80.21, 0.3);
    EXPECT_EQ(radio.frames.size(), 100u * 7u);
}

TEST_F(Aligned, OnlyTheAnswerReadsWait) {
    comm->Output(RadioLink::meterFrame());
    const LineTime start = line->clock;
    for (int r = 1; r <= 3; ++r) {
        EXPECT_TRUE(comm->Input().isEmpty());
        comm->Output(RadioLink::followUpFrame());
    }
    EXPECT_EQ(line->clock, start);  // neither writes nor the first three reads wait
    EXPECT_EQ(comm->Input(), QByteArray("\x10"));
    // Answer byte 1 is read as soon as it is in: request, one byte time, latency.
    EXPECT_NEAR(ms(line->clock - start), 5 * 2.2917 + 2.2917 + 3.0, 0.01);
}

TEST_F(Aligned, ReadsWithoutARequestFindNothingAtOnce) {
    radio.noise(1 * kMillisecond, 0x55);
    line->busy(5 * kMillisecond);
    EXPECT_TRUE(comm->Input().isEmpty());
    EXPECT_EQ(line->waits, 0);
}

TEST_F(Aligned, WholeScanSweepAfterSweep) {
    // Start of the scan, then three sweeps that each re-read the frequency.
    link->Befehl(3);
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 1425000);
    link->Befehl(10);
    for (int sweep = 0; sweep < 3; ++sweep) {
        radio.frequency = 703500 + 1000 * sweep;
        link->Befehl(11);
        link->ReadStatus();
        ASSERT_EQ(link->centerFreq, radio.frequency) << "sweep " << sweep;
        for (int i = 0; i < 30; ++i) {
            const int answer = step(link->centerFreq - 500 + 10 * i);
            ASSERT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer)))) << sweep << "/" << i;
            ASSERT_EQ(link->meterValue, reading(answer));
        }
        link->Befehl(10);
    }
}

TEST_F(Aligned, TheStatusAnswersTailDoesNotReachTheMeterReadAfterIt) {
    // The status answer is still coming when the first step's meter request
    // is in; its last byte arrives after the meter answer could have begun.
    for (int i = 0; i < 5; ++i) {
        link->ReadStatus();
        EXPECT_EQ(link->centerFreq, 1425000);
        const int answer = step();
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        EXPECT_EQ(link->meterValue, reading(answer));
    }
}

TEST_F(Aligned, ADroppedByteSpoilsNoOtherAnswer) {
    // Answer 3 loses its first copy, 6 its pad, 9 two copies, 12 all but the pad.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 3) a[0].reset();
        if (index == 6) a[4].reset();
        if (index == 9) a[1].reset(), a[2].reset();
        if (index == 12) a[0].reset(), a[1].reset(), a[2].reset(), a[3].reset();
    };
    for (int i = 0; i < 16; ++i) {
        link->meterValue = -1;
        const int answer = step();
        if (answer == 12) {
            // Its only byte comes in the fifth slot, long after the first was due.
            EXPECT_EQ(link->meterValue, -1);
            continue;
        }
        EXPECT_EQ(link->meterValue, reading(answer)) << "answer " << answer;
        if (answer != 3 && answer != 9) {
            EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        }
    }
}

TEST_F(Aligned, ADroppedStatusByteLeavesTheNextReadsInStep) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a[13].reset();  // after the frequency: no harm at all
        if (index == 2) a[0].reset();   // before it: this record reads shifted
        if (index == 4) a[15].reset();  // the last byte
    };
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 1425000);
    int answer = step();
    EXPECT_EQ(link->meterValue, reading(answer));
    link->ReadStatus();  // answer 2: shifted, whatever it decodes to
    answer = step();
    EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
    radio.frequency = 440000;
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 440000);
    answer = step();
    EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
}

TEST_F(Aligned, AnAddedByteSpoilsNoOtherAnswer) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 2) a.push_back(uint8_t(0x99));              // after the pad
        if (index == 5) a.insert(a.begin(), uint8_t(0x99));      // before the first copy
        if (index == 8) a.insert(a.begin() + 2, uint8_t(0x99));  // in the middle
        if (index == 11) a.push_back(0x99), a.push_back(0x98);   // two after the pad
    };
    for (int i = 0; i < 16; ++i) {
        const int answer = step();
        SCOPED_TRACE(answer);
        // Read 4 takes the added byte itself when it comes first, or the
        // second of two added after the previous answer.
        if (answer != 5 && answer != 12) {
            EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        }
        EXPECT_EQ(link->meterValue, reading(answer));
    }
}

TEST_F(Aligned, AnAddedByteBeforeAStatusRequestDoesNotShiftItsRecord) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index % 2 == 1) a.push_back(uint8_t(0x77));
    };
    for (int i = 0; i < 6; ++i) {
        radio.frequency = 1425000 + 1000 * i;
        step();
        line->busy(kMillisecond * (15 + 7 * i));  // the status request comes in at varying moments
        link->ReadStatus();
        ASSERT_EQ(link->centerFreq, radio.frequency) << i;
    }
}

TEST_F(Aligned, AByteBeforeTheRequestIsInIsNeverItsAnswer) {
    // An added byte stretches answer 2 so far that its last two bytes arrive
    // around the moment the next meter request has crossed the wire: the one
    // before is the previous answer's, whatever its cadence suggests, and
    // the pad after it must not become the reading.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 1) a.insert(a.begin(), uint8_t(0x99));
    };
    link->lesemeter();
    link->lesemeter();
    for (int i = 0; i < 3; ++i) {
        const int answer = step();
        SCOPED_TRACE(answer);
        EXPECT_NE(link->meterValue, 0xF7);
        EXPECT_EQ(link->meterValue, reading(answer));
    }
}

TEST_F(Aligned, ALateByteInThePreviousAnswersTailDoesNotShiftTheNextRecord) {
    // A loaded machine takes one byte of the previous record's tail in a
    // little over the cadence's tolerance late; the bytes after it still come
    // on the radio's own cadence and are that record's, not the next one's.
    for (LineTime late : {LineTime(0), 3100 * LineTime(1000), 6 * kMillisecond}) {
        SCOPED_TRACE(double(late) / kMillisecond);
        radio.frequency = 1425000;
        link->ReadStatus();
        ASSERT_EQ(radio.outgoing.size(), 3u) << "record bytes 14-16 are still to come";
        radio.outgoing.front().at += late;
        radio.frequency = 703500;
        link->ReadStatus();
        EXPECT_EQ(link->centerFreq, 703500);
        line->busy(500 * kMillisecond);
    }
}

TEST_F(Aligned, ALateByteInTheRecordDoesNotThrowAwayWhatCameBefore) {
    // One byte of the record is taken in late: the next, on time, then comes
    // closer to it than the cadence allows, which must not be read as the
    // start of another answer.
    for (int late : {1, 2, 3, 4, 7}) {
        for (LineTime by : {3800 * LineTime(1000), 8 * kMillisecond}) {
            SCOPED_TRACE(testing::Message() << "record byte " << late + 1 << " late by " << ms(by) << " ms");
            radio.frequency = 1425000 + late;
            comm->Output(RadioLink::statusFrame());
            ASSERT_EQ(radio.outgoing.size(), 16u);
            radio.outgoing[size_t(late)].at += by;
            for (int k = 6; k <= 21; ++k) {
                link->rxBuffer[k] = comm->Input();
                comm->Output(RadioLink::followUpFrame());
            }
            link->DecodeFrequency();
            EXPECT_EQ(link->centerFreq, radio.frequency);
            line->busy(500 * kMillisecond);
        }
    }
}

TEST_F(Aligned, AnAddedByteAfterAStatusRecord) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a.push_back(uint8_t(0x77));
    };
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 1425000);
    const int answer = step();
    EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
}

TEST_F(Aligned, ALateAnswerIsWaitedFor) {
    radio.latency = 30 * kMillisecond;
    for (int i = 0; i < 5; ++i) {
        const int answer = step();
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        EXPECT_EQ(link->meterValue, reading(answer));
    }
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 1425000);
}

TEST_F(Aligned, AnAnswerTooLateForItsReadsIsNotTakenByTheNext) {
    radio.tamper = [](int index, FakeRadio::Answer&, LineTime& latency) {
        if (index == 1) latency = 60 * kMillisecond;
    };
    step();
    link->meterValue = -1;
    step();
    EXPECT_EQ(link->meterValue, -1);  // its reads gave up
    line->busy(300 * kMillisecond);   // a slow screen: the late answer comes in meanwhile
    for (int i = 0; i < 3; ++i) {
        const int answer = step();
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
    }
}

TEST_F(Aligned, ASilentRadioCostsOneShortWaitARequest) {
    radio.tamper = [](int, FakeRadio::Answer& a, LineTime&) { a.clear(); };
    link->Befehl(10);
    const LineTime start = line->clock;
    // The probe: open, one meter read, close.
    link->meterValue = -1;
    link->Befehl(11);
    link->lesemeter();
    link->Befehl(10);
    EXPECT_EQ(link->meterValue, -1);
    EXPECT_EQ(line->waits, 1);  // read 4 waits; read 5 knows the answer has gone silent
    EXPECT_LT(ms(line->clock - start), 100.0);

    link->Befehl(11);
    const LineTime before = line->clock;
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 0);
    EXPECT_LT(ms(line->clock - before), 100.0);
}

TEST_F(Aligned, ARadioThatStopsMidAnswer) {
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a.resize(1);
    };
    link->meterValue = -1;
    step();
    EXPECT_EQ(link->meterValue, reading(0));
    EXPECT_TRUE(link->rxBuffer[5].isEmpty());
    const int answer = step();
    EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
}

TEST_F(Aligned, GarbageThenBackInStep) {
    std::mt19937 rng(7);
    // Garbage in place of answer 3, and noise on the line at random moments.
    radio.tamper = [&](int index, FakeRadio::Answer& a, LineTime&) {
        if (index != 3) return;
        for (auto& b : a) b = uint8_t(rng());
    };
    LineTime t = 0;
    for (int i = 0; i < 40; ++i) {
        t += LineTime(rng() % 20 + 1) * kMillisecond;
        radio.noise(t, uint8_t(rng()));
    }
    while (line->clock < t + 100 * kMillisecond) step();  // past the noise
    for (int i = 0; i < 10; ++i) {
        const int answer = step();
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer))));
        EXPECT_EQ(link->meterValue, reading(answer));
    }
}

TEST_F(Aligned, AByteStreamOnTheLineDoesNotHoldAReadUp) {
    // Another device on the port (a GPS talks at 4800 baud too) sends without
    // a pause: bytes come closer than any answer's, so none of them ever
    // makes a whole answer, and the reads must still give up in time.
    const LineTime streamEnd = 5000 * kMillisecond;
    for (LineTime t = kByteTime; t < streamEnd; t += kByteTime) radio.noise(t, uint8_t('$'));
    while (line->clock < streamEnd) {
        const LineTime before = line->clock;
        if (radio.answered % 5 == 4)
            link->ReadStatus();
        else
            step();
        ASSERT_LT(ms(line->clock - before), 500.0);
    }
    line->busy(100 * kMillisecond);
    for (int i = 0; i < 3; ++i) {
        const int answer = step();
        EXPECT_EQ(link->meterValue, reading(answer));
    }
}

TEST_F(Aligned, ASilentAnswerAfterAnUndecidedByteEndsItsReads) {
    // The previous answer's pad comes when the current answer could begin,
    // and nothing follows it: the wait for the byte after it must end even
    // when the current answer's own time is up first.
    radio.tamper = [](int index, FakeRadio::Answer& a, LineTime&) {
        if (index == 0) a[1].reset();
        if (index == 3) a.clear();
    };
    link->lesemeter();
    radio.pacingMs = 20;  // left so by another program, until the next follow-up frame
    radio.latency = 13810 * LineTime(1000);
    link->lesemeter();
    link->lesemeter();
    const LineTime before = line->clock;
    EXPECT_NO_THROW(link->lesemeter());
    EXPECT_LT(ms(line->clock - before), 200.0);
}

TEST_F(Aligned, ProgramBusyBetweenStepsStampsLateButStaysInStep) {
    std::mt19937 rng(3);
    for (int i = 0; i < 40; ++i) {
        const int answer = step();
        ASSERT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer)))) << i;
        line->busy(LineTime(rng() % 60) * kMillisecond);
    }
}

TEST_F(Aligned, AVanishedPortIsReportedByTheNextOperation) {
    line->gone = true;
    EXPECT_THROW(link->lesemeter(), RuntimeError);
    EXPECT_FALSE(comm->portOpen());
    EXPECT_THROW(link->Befehl(11), RuntimeError);
}

TEST_F(Aligned, EveryKindOfFaultAtRandomThenBackInStep) {
    // Faults of every kind in any mix, with the program busy for random
    // moments: nothing throws, every read returns in bounded time, and once
    // the radio behaves again so do the readings.
    std::mt19937 rng(11);
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
        if (i % 25 == 0) {
            link->ReadStatus();
        } else {
            step();
        }
        ASSERT_LT(line->clock - before, 1000 * kMillisecond) << i;
        if (rng() % 3 == 0) line->busy(LineTime(rng() % 50) * kMillisecond);
    }
    faulty = false;
    line->busy(1000 * kMillisecond);
    for (int i = 0; i < 20; ++i) {
        const int answer = step();
        EXPECT_EQ(link->rxBuffer[4], QByteArray(1, char(reading(answer)))) << i;
        EXPECT_EQ(link->meterValue, reading(answer)) << i;
    }
    radio.frequency = 2999999;
    link->ReadStatus();
    EXPECT_EQ(link->centerFreq, 2999999);
}

TEST(AnswerLength, RequestFrames) {
    EXPECT_EQ(AlignedComm::answerLength(0xF7, 0x00), 5);
    EXPECT_EQ(AlignedComm::answerLength(0x10, 0x01), 1);
    EXPECT_EQ(AlignedComm::answerLength(0x10, 0x02), 16);
    EXPECT_EQ(AlignedComm::answerLength(0x10, 0x03), 32);
    EXPECT_EQ(AlignedComm::answerLength(0xFA, 0x00), 5);
    for (uint8_t op : {0x0E, 0x8A, 0x0A, 0x83, 0x85}) EXPECT_EQ(AlignedComm::answerLength(op, 0x0F), 0);
}
