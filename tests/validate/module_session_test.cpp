// The session every check drives a module through, against the gain fixture: where it says a write
// went, that it puts back a floating-point state the module changed, that it tells an announced
// change of the process entry from an unannounced one, and how it reads the output.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "fp_control.h"
#include "module_library.h"
#include "module_session.h"

using namespace trhost;
using namespace trhost::validate;

namespace {

class SessionOn : public testing::Test {
protected:
    void Load(const std::string& fixture) {
        std::string error;
        m_library =
            ModuleLibrary::Load(std::string(VALIDATOR_FIXTURE_DIR) + "/gain_fixture_" + fixture + ".so", &error);
        ASSERT_TRUE(m_library) << error;
        m_session = std::make_unique<ModuleSession>(*m_library, m_random);
        ASSERT_TRUE(m_session->Create());
        ASSERT_EQ(m_session->Pins().size(), 4u);
    }
    const DrivenPin& Pin(int32_t index) { return m_session->Pins()[index]; }

    Random m_random{1};
    std::unique_ptr<ModuleLibrary> m_library;
    std::unique_ptr<ModuleSession> m_session;
};

}  // namespace

TEST_F(SessionOn, CorrectModuleLeavesNothingToReport) {
    Load("good");
    m_session->Open(44100.0f);
    EXPECT_TRUE(m_session->ProcessEntryFaults().empty());
    m_session->SetRandomInRangeInputs();
    for (int32_t count : {1, 17, 4096}) {
        BlockFindings findings = m_session->Process(ModuleSession::kBufferLength - count, count);
        EXPECT_TRUE(findings.Clean()) << m_session->DescribeSettings();
    }
    EXPECT_EQ(m_session->Host().SampleClock(), 1u + 17u + 4096u);
    EXPECT_EQ(m_session->Close(), 1);
}

TEST_F(SessionOn, WriteOnePastTheBlockIsPlacedExactly) {
    Load("writes_past_block");
    m_session->Open(44100.0f);
    BlockFindings findings = m_session->Process(100, 17);
    ASSERT_EQ(findings.outside_writes.size(), 1u);
    EXPECT_EQ(findings.outside_writes[0], "pin 3 (Out): 1 sample written, first at 117");
    EXPECT_TRUE(findings.changed_inputs.empty());
}

TEST_F(SessionOn, OutputOfDivisionByZeroGainIsNonFinite) {
    Load("nonfinite_output");
    m_session->Open(44100.0f);
    m_session->SetList(Pin(2), 2);  // invert, which divides by the gain
    m_session->SetInput(Pin(0), InputSignal::Constant(0.5f));
    m_session->SetInput(Pin(1), InputSignal::Constant(0.0f));
    BlockFindings findings = m_session->Process(0, 8);
    ASSERT_EQ(findings.nonfinite_outputs.size(), 1u);
    EXPECT_EQ(findings.nonfinite_outputs[0], "pin 3 (Out): 8 non-finite samples, first at 0 (inf)");
    EXPECT_NE(m_session->DescribeSettings().find("Mode=invert"), std::string::npos);
}

TEST_F(SessionOn, UnannouncedProcessEntryChangeIsSeenAtOpen) {
    Load("untold_process_change");
    m_session->Open(44100.0f);
    ASSERT_EQ(m_session->ProcessEntryFaults().size(), 1u);
    EXPECT_EQ(m_session->ProcessEntryFaults()[0],
              "DISP_OPEN: the process entry changed without HOST_PROCESS_FUNCTION_CHANGED");
    m_session->Open(44100.0f);  // the same entry again is no change
    EXPECT_EQ(m_session->ProcessEntryFaults().size(), 1u);
}

TEST_F(SessionOn, FloatingPointStateTheModuleChangedIsPutBack) {
    Load("leaves_flush_to_zero");
    FpControl before = ReadFpControl();
    m_session->Open(44100.0f);
    EXPECT_EQ(ReadFpControl(), before) << "the validator must not run on with the module's state";
    ASSERT_EQ(m_session->FpControlFaults().size(), 1u);
    EXPECT_NE(m_session->FpControlFaults()[0].find("DISP_OPEN: MXCSR"), std::string::npos);
    // Open again: the fault repeats and is seen again.
    m_session->Open(44100.0f);
    EXPECT_EQ(m_session->FpControlFaults().size(), 2u);
}

TEST_F(SessionOn, AllocationsAreCountedInTheProcessRoutineOnlyWhenAsked) {
    Load("allocates_in_process");
    m_session->Open(44100.0f);
    m_session->Process(0, 64);
    EXPECT_EQ(m_session->ProcessAllocations().allocations, 0);
    m_session->CountAllocations(true);
    m_session->Process(0, 64);
    m_session->Process(0, 32);
    m_session->CountAllocations(false);
    EXPECT_EQ(m_session->ProcessAllocations().allocations, 2);
    EXPECT_EQ(m_session->ProcessAllocations().releases, 2);
    EXPECT_EQ(m_session->ProcessAllocations().first_size, 64u * sizeof(float));
}
