// The parts behind the comparing checks and the report forms: how partitions cut a stream, that moving
// streams move and stay in range, how two runs' outputs are compared, what the host-call audit lets
// through and what it names, and the XML text of the JUnit report.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <set>
#include <sstream>

#include "driven_pin.h"
#include "host_call_audit.h"
#include "input_streams.h"
#include "junit_report.h"
#include "partition.h"
#include "stream_run.h"

using namespace trhost;
using namespace trhost::validate;

namespace {

DrivenPin AudioInput(int32_t index, double low, double high) {
    DrivenPin pin;
    pin.index = index;
    pin.description.index = index;
    pin.description.direction = PIN_IN;
    pin.description.datatype = DT_FSAMPLE;
    pin.low = low;
    pin.high = high;
    pin.default_sample = low;
    return pin;
}

TRMod_struct g_record;
TRMod_struct g_other_record;
void TR_CALL FirstEntry(void*, int32_t, int32_t) {}
void TR_CALL SecondEntry(void*, int32_t, int32_t) {}

HostCall Call(int32_t opcode, int32_t index = 0, int32_t value = 0, uint32_t ptr = 0,
              TRProcessEntry entry = FirstEntry) {
    HostCall call;
    call.record = &g_record;
    call.opcode = opcode;
    call.index = index;
    call.value = value;
    call.ptr = ptr;
    call.process_entry = entry;
    return call;
}

CallMoment During(const char* what, uint32_t clock, int32_t block = 0) {
    return CallMoment{what, &g_record, 4, clock, block, FirstEntry};
}

}  // namespace

TEST(Partitions, CoverTheStreamInOrderWithinTheHostsBlock) {
    Random random(5);
    constexpr int32_t kLength = 3000, kBlock = 256;
    for (int level : {kQuickestLevel, kDefaultLevel, kDeepestLevel}) {
        std::vector<Partition> partitions = OtherPartitions(kLength, kBlock, level, random);
        partitions.push_back(WholeBlocks(kLength, kBlock));
        std::set<std::string> names;
        bool some_offset = false;
        for (const Partition& partition : partitions) {
            names.insert(partition.name);
            int32_t made = 0;
            for (const ProcessCall& call : partition.calls) {
                EXPECT_GE(call.count, 1) << partition.name;
                EXPECT_GE(call.offset, 0) << partition.name;
                EXPECT_LE(call.offset + call.count, kBlock) << partition.name;
                some_offset = some_offset || call.offset > 0;
                made += call.count;
            }
            EXPECT_EQ(made, kLength) << partition.name;
        }
        EXPECT_TRUE(some_offset);
        EXPECT_GE(names.size(), level == kQuickestLevel ? 4u : 6u);
    }
    Partition whole = WholeBlocks(kLength, kBlock);
    EXPECT_EQ(whole.calls.size(), 12u);
    EXPECT_EQ(whole.calls.back().count, kLength - 11 * kBlock);
    EXPECT_EQ(whole.Locate(300), "call 1 (256 samples at offset 0)");
}

TEST(MovingStreams, MoveAtAudioRateAndStayInRange) {
    Random random(9);
    std::vector<DrivenPin> pins = {AudioInput(0, -1.0, 1.0), AudioInput(1, 0.0, 0.5)};
    InputStreams streams = MovingStreams(pins, 8192, random);
    ASSERT_EQ(streams.size(), 2u);
    for (const auto& pin : pins) {
        const std::vector<float>& stream = streams[pin.index];
        ASSERT_EQ(stream.size(), 8192u);
        int32_t moves = 0;
        for (size_t i = 0; i < stream.size(); ++i) {
            EXPECT_GE(stream[i], pin.low);
            EXPECT_LE(stream[i], pin.high);
            if (i > 0 && stream[i] != stream[i - 1]) ++moves;
        }
        // Held stretches aside, the value changes from one sample to the next most of the time.
        EXPECT_GT(moves, 4096) << pin.index;
    }
}

TEST(FirstDifference, ComparesBitsTakesNanForNanAndMeasuresTheLargest) {
    OutputStreams a = {{3, {0.5f, NAN, 1.0f, 2.0f, 0.0f}}};
    OutputStreams same = a;
    EXPECT_FALSE(FirstDifference(a, same).found);

    OutputStreams other = a;
    other[3][2] = std::nextafter(1.0f, 2.0f);
    other[3][3] = 2.5f;
    Difference difference = FirstDifference(a, other);
    ASSERT_TRUE(difference.found);
    EXPECT_EQ(difference.pin, 3);
    EXPECT_EQ(difference.sample, 2);
    EXPECT_EQ(difference.expected, 1.0f);
    EXPECT_NEAR(difference.largest, 0.2, 1e-9);  // 0.5 against 2.5
    EXPECT_FALSE(FirstDifference(a, other, 2).found);

    OutputStreams signed_zero = a;
    signed_zero[3][4] = -0.0f;
    EXPECT_TRUE(FirstDifference(a, signed_zero).found);
    OutputStreams nan_for_number = a;
    nan_for_number[3][0] = NAN;
    EXPECT_TRUE(std::isinf(FirstDifference(a, nan_for_number).largest));
}

TEST(HostCallAudit, LetsThroughWhatTheInterfaceAllows) {
    std::vector<HostCall> calls = {Call(HOST_GET_PIN_COUNT), Call(HOST_GET_PIN_BUFFER, 3), Call(HOST_GET_SAMPLE_CLOCK),
                                   Call(HOST_SET_PIN_STATUS, 3, PIN_STATE_RUNNING, 1000),
                                   Call(HOST_PROCESS_FUNCTION_CHANGED, 0, 0, 0, SecondEntry)};
    EXPECT_TRUE(AuditHostCalls(During("DISP_OPEN", 1000), calls).empty());
    // Within a block, every sample of it is the present, across the clock's wrap too.
    std::vector<HostCall> in_block = {Call(HOST_SET_PIN_STATUS, 0, PIN_STATE_STATIC, 0xFFFFFFFFu),
                                      Call(HOST_SET_PIN_STATUS, 0, PIN_STATE_STATIC, 2u)};
    EXPECT_TRUE(AuditHostCalls(During("process", 0xFFFFFFF0u, 19), in_block).empty());
}

TEST(HostCallAudit, NamesEachViolationWithTheCallAndTheMoment) {
    HostCall foreign = Call(HOST_GET_SAMPLE_CLOCK);
    foreign.record = &g_other_record;
    std::vector<HostCall> calls = {
        foreign,
        Call(99),
        Call(HOST_GET_PIN_BUFFER, 4),
        Call(HOST_SET_PIN_STATUS, -1, 7, 1000),
        Call(HOST_SET_PIN_STATUS, 0, PIN_STATE_RUNNING, 999),
        Call(HOST_PROCESS_FUNCTION_CHANGED),
        Call(HOST_PROCESS_FUNCTION_CHANGED, 0, 0, 0, SecondEntry),
        Call(HOST_PROCESS_FUNCTION_CHANGED, 0, 0, 0, SecondEntry),
    };
    std::vector<std::string> faults = AuditHostCalls(During("DISP_OPEN", 1000), calls);
    ASSERT_EQ(faults.size(), 8u);
    EXPECT_NE(faults[0].find("HOST_GET_SAMPLE_CLOCK(index 0, value 0, ptr 0x0, opt 0) during DISP_OPEN: the first "
                             "argument is"),
              std::string::npos)
        << faults[0];
    EXPECT_NE(faults[1].find("opcode 99(index 0"), std::string::npos) << faults[1];
    EXPECT_NE(faults[1].find("no host opcode has this number"), std::string::npos) << faults[1];
    EXPECT_NE(faults[2].find("pin index 4 is not below the pin count 4"), std::string::npos) << faults[2];
    EXPECT_NE(faults[3].find("pin index -1 is not below"), std::string::npos) << faults[3];
    EXPECT_NE(faults[4].find("7 is no pin state"), std::string::npos) << faults[4];
    EXPECT_NE(faults[5].find("stamped with sample clock 999, but the current clock is 1000"), std::string::npos)
        << faults[5];
    EXPECT_NE(faults[6].find("had not changed since the call began"), std::string::npos) << faults[6];
    EXPECT_NE(faults[7].find("had not changed since the last announcement"), std::string::npos) << faults[7];

    std::vector<std::string> late = AuditHostCalls(During("process(offset 0, 64 samples)", 1000, 64),
                                                   {Call(HOST_SET_PIN_STATUS, 0, PIN_STATE_RUNNING, 1064)});
    ASSERT_EQ(late.size(), 1u);
    EXPECT_NE(late[0].find("stamped with sample clock 1064, but the block covers 1000..1063"), std::string::npos)
        << late[0];
}

TEST(JUnitReport, EscapesMarkupAndDropsWhatXmlCannotHold) {
    EXPECT_EQ(XmlText("a<b & \"c\" 'd'>"), "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;");
    EXPECT_EQ(XmlText("bell\x07 tab\t"), "bell? tab\t");
    EXPECT_EQ(XmlText("In \xC3\x97 Gain"), "In \xC3\x97 Gain");  // well-formed UTF-8 stays
    EXPECT_EQ(XmlText("broken \xC3 \xFF \xED\xA0\x80"), "broken ? ? ???");
}

TEST(JUnitReport, CountsVerdictsAndGivesEachCheckACase) {
    RunDescription run{"lib<1>.so", 7, true, kDefaultLevel};
    std::vector<CheckResult> results(4);
    results[0].name = "exports";
    results[1].name = "processing";
    results[1].verdict = Verdict::kFail;
    results[1].failures = {"write outside the block: pin 3 (Out)"};
    results[2].name = "threads";
    results[2].verdict = Verdict::kCrash;
    results[2].crash = "SIGSEGV during: round 1";
    results[3].name = "realtime";
    results[3].verdict = Verdict::kSkip;
    results[3].skipped = "not counted";
    std::ostringstream out;
    WriteJUnitReport(out, run, results);
    std::string xml = out.str();
    EXPECT_NE(xml.find("<testsuites name=\"trhost validate\" tests=\"4\" failures=\"1\" errors=\"1\" skipped=\"1\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("<testcase classname=\"trhost.validate\" name=\"processing\""), std::string::npos);
    EXPECT_NE(xml.find("<failure message=\"write outside the block: pin 3 (Out)\">"), std::string::npos);
    EXPECT_NE(xml.find("reproduce: trhost validate lib&lt;1&gt;.so --seed 7 --only processing"), std::string::npos);
    EXPECT_NE(xml.find("<error message=\"SIGSEGV during: round 1\">"), std::string::npos);
    EXPECT_NE(xml.find("<skipped message=\"not counted\"/>"), std::string::npos);
}
