// @NAME@ as the host drives it: pins described, buffers bound through the addresses the descriptions
// carry, opened, then processed through the plug record's process entry.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "@name@_module.h"

namespace {

constexpr int32_t kBlock = 64;

// One instance with a buffer bound to each pin, opened without a host callback (every request of the
// host then answers 0). Closed, and so deleted, through the dispatcher like the host does.
class @Class@Test : public testing::Test {
protected:
    void SetUp() override {
        m_module = new @Class@(nullptr, 0);
        for (int32_t pin = 0; pin < @Class@::kPinCount; ++pin) {
            PinProperties properties;
            std::memset(&properties, 0, sizeof properties);
            ASSERT_TRUE(m_module->GetPinProperties(pin, &properties)) << "pin " << pin;
            m_buffers[pin].assign(kBlock, 0.0f);
            float* buffer = m_buffers[pin].data();
            std::memcpy(properties.variable_address, &buffer, sizeof buffer);
        }
        Dispatch(DISP_OPEN);
    }
    void TearDown() override { Dispatch(DISP_CLOSE); }

    int32_t Dispatch(int32_t opcode) {
        TRMod_struct* record = m_module->Plug();
        return record->dispatcher(record, opcode, 0, 0, nullptr, 0.0f);
    }
    void Process(int32_t offset, int32_t count) {
        TRMod_struct* record = m_module->Plug();
        record->process(record->object, offset, count);
    }
    std::vector<float>& Buffer(int32_t pin) { return m_buffers[pin]; }

private:
    @Class@* m_module = nullptr;
    std::vector<float> m_buffers[@Class@::kPinCount];
};

TEST_F(@Class@Test, OutIsInTimesGainWithinTheBlockAlone) {
    for (int32_t i = 0; i < kBlock; ++i) {
        Buffer(@Class@::kPinIn)[i] = 0.01f * static_cast<float>(i - kBlock / 2);
        Buffer(@Class@::kPinGain)[i] = i % 2 ? 1.0f : 0.5f;
        Buffer(@Class@::kPinOut)[i] = -7.0f;
    }
    Process(8, 16);
    for (int32_t i = 0; i < kBlock; ++i) {
        const float expected = i >= 8 && i < 24 ? Buffer(@Class@::kPinIn)[i] * Buffer(@Class@::kPinGain)[i] : -7.0f;
        EXPECT_EQ(Buffer(@Class@::kPinOut)[i], expected) << "sample " << i;
    }
}

TEST_F(@Class@Test, ABlockThatCannotBeProcessedWritesNothing) {
    Buffer(@Class@::kPinIn).assign(kBlock, 1.0f);
    Buffer(@Class@::kPinGain).assign(kBlock, 1.0f);
    Buffer(@Class@::kPinOut).assign(kBlock, -7.0f);
    Process(-1, 4);
    Process(0, 0);
    for (float sample : Buffer(@Class@::kPinOut)) EXPECT_EQ(sample, -7.0f);
}

TEST(@Class@Pins, NoPinIsDescribedPastTheTable) {
    @Class@ module(nullptr, 0);
    PinProperties properties;
    std::memset(&properties, 0, sizeof properties);
    EXPECT_FALSE(module.GetPinProperties(@Class@::kPinCount, &properties));
    EXPECT_FALSE(module.GetPinProperties(-1, &properties));
}

}  // namespace
