// The replaceable handler of failed invariant checks.
#include <gtest/gtest.h>

#include <string>

#include "tr_assert.h"

namespace {

std::string g_seen;
void Remember(const char* expression, const char* source, int line) {
    g_seen = std::string(expression) + "|" + source + "|" + std::to_string(line);
}
void Other(const char*, const char*, int) {}

TEST(AssertHandler, ReplacedHandlerReceivesTheCheckAndTheOldOneComesBack) {
    TRAssertHandler original = TRSetAssertHandler(Remember);
    TRAssertFailed("m_pins != 0", "TRModule_base", 123);
    EXPECT_EQ(g_seen, "m_pins != 0|TRModule_base|123");

    EXPECT_EQ(TRSetAssertHandler(Other), &Remember);
    EXPECT_EQ(TRSetAssertHandler(original), &Other);
}

TEST(AssertHandler, NullRestoresTheDefault) {
    TRAssertHandler original = TRSetAssertHandler(Remember);
    TRSetAssertHandler(nullptr);
    EXPECT_EQ(TRSetAssertHandler(original), original);
}

#if !defined(_WIN32)
TEST(AssertHandler, DefaultWritesOneLineToStderrAndReturns) {
    testing::internal::CaptureStderr();
    TRAssertFailed("e->time_stamp == SampleClock()", "TRModule_base", 238);
    std::string out = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out.find('\n'), out.size() - 1) << out;
    EXPECT_NE(out.find("e->time_stamp == SampleClock()"), std::string::npos) << out;
    EXPECT_NE(out.find("TRModule_base"), std::string::npos) << out;
    EXPECT_NE(out.find("238"), std::string::npos) << out;
}
#endif

}  // namespace
