// The pin table as the host sees it through DISP_GET_PIN_PROPERTIES, and the pins open builds from it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "linked_module.h"
#include "waves/wave_list.h"

namespace {

// What the host must see for each pin; a null text or `flags` -1 marks a field the row leaves alone.
struct ExpectedPin {
    const char* name;
    int32_t direction;
    int32_t datatype;
    const char* default_value;
    const char* datatype_extra;
    int32_t flags;
};

const ExpectedPin kExpected[9] = {
    {"In", PIN_IN, DT_FSAMPLE, "10", nullptr, 0x200},
    {"Depth", PIN_IN, DT_FSAMPLE, "5", "10,0,10,0", -1},
    {"Offset", PIN_IN, DT_FSAMPLE, "0", "10,0,10,0", -1},
    {"Freq", PIN_IN, DT_FSAMPLE, "1", "20,.0001,20,.0001", -1},
    {"Phase", PIN_IN, DT_FSAMPLE, "0", "360,0,360,0", -1},
    {"Wave", PIN_IN, DT_LIST, "0", "sine=0,triangle=1,square=2", -1},
    {"Out", PIN_OUT, DT_FSAMPLE, nullptr, nullptr, -1},
    {"Freq scale", PIN_SETTING, DT_LIST, "0", "Hz=0,kHz=1", -1},
    {"Depth scale", PIN_SETTING, DT_LIST, "0", "Absolute=0,Relative=1", -1},
};

PinProperties Poisoned() {
    PinProperties p;
    std::memset(&p, 0xA5, sizeof p);
    return p;
}

uintptr_t Poison() {
    uintptr_t v;
    std::memset(&v, 0xA5, sizeof v);
    return v;
}

TEST(PinTable, DescribesNinePinsAndLeavesDashedFieldsAndReservedAlone) {
    LinkedModule m;
    uintptr_t addresses[9];
    for (int32_t i = 0; i < 9; ++i) {
        const ExpectedPin& e = kExpected[i];
        PinProperties p = Poisoned();
        ASSERT_EQ(m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, i, 0, &p), 1) << i;
        addresses[i] = reinterpret_cast<uintptr_t>(p.variable_address);
        EXPECT_NE(p.variable_address, nullptr) << i;
        EXPECT_EQ(p.direction, e.direction) << i;
        EXPECT_EQ(p.datatype, e.datatype) << i;
        EXPECT_STREQ(p.name, e.name);
        if (e.default_value) {
            EXPECT_STREQ(p.default_value, e.default_value) << e.name;
        } else {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p.default_value), Poison()) << e.name;
        }
        if (e.datatype_extra) {
            EXPECT_STREQ(p.datatype_extra, e.datatype_extra) << e.name;
        } else {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(p.datatype_extra), Poison()) << e.name;
        }
        EXPECT_EQ(static_cast<uint32_t>(p.flags), e.flags >= 0 ? static_cast<uint32_t>(e.flags) : Poison()) << e.name;
        EXPECT_EQ(static_cast<uint32_t>(p.reserved), Poison()) << e.name;
    }
    // The members follow the module's layout: six buffer pointers (Out after Phase), then three 16-bit
    // list values.
    const uintptr_t base = addresses[0];
    const int32_t offsets[9] = {0, 4, 8, 12, 16, 24, 20, 26, 28};
    for (int32_t i = 0; i < 9; ++i) EXPECT_EQ(addresses[i] - base, static_cast<uintptr_t>(offsets[i])) << i;
}

TEST(PinTable, OtherIndexesAnswerZeroAndWriteNothing) {
    LinkedModule m;
    for (int32_t index : {9, 10, 255, -1, -9, INT32_MIN, INT32_MAX}) {
        PinProperties p = Poisoned();
        const PinProperties before = p;
        EXPECT_EQ(m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, index, 0, &p), 0) << index;
        EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0) << index;
    }
    EXPECT_EQ(m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, 0, 0, nullptr), 0);
}

TEST(PinTable, AnswersTheSameBeforeAndAfterOpen) {
    LinkedModule m;
    PinProperties before[9], after[9];
    for (int32_t i = 0; i < 9; ++i) {
        before[i] = Poisoned();
        m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, i, 0, &before[i]);
    }
    m.Open();
    for (int32_t i = 0; i < 9; ++i) {
        after[i] = Poisoned();
        m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, i, 0, &after[i]);
        EXPECT_EQ(std::memcmp(&before[i], &after[i], sizeof(PinProperties)), 0) << i;
    }
}

TEST(PinTable, OpenBindsEveryPinToItsMemberWithoutOwnStorage) {
    LinkedModule m;
    m.Open();
    ASSERT_EQ(m.module->PinCount(), 9);
    for (int32_t i = 0; i < 9; ++i) {
        PinProperties p{};
        m.rig.Dispatch(DISP_GET_PIN_PROPERTIES, i, 0, &p);
        TRPin* pin = m.module->GetPin(i);
        ASSERT_NE(pin, nullptr);
        EXPECT_EQ(pin->Variable(), p.variable_address) << i;
        EXPECT_EQ(pin->Datatype(), kExpected[i].datatype) << i;
        EXPECT_EQ(pin->Index(), i);
    }
    // No pin asked the host for a buffer of its own.
    for (const auto& call : m.host.calls) EXPECT_NE(call.opcode, HOST_GET_PIN_BUFFER);
}

TEST(PinTable, HostPinsBeyondTheTableAreNotSetUp) {
    LinkedModule m;
    m.host.pin_count = 12;
    m.Open();
    ASSERT_EQ(m.module->PinCount(), 12);
    for (int32_t i = 9; i < 12; ++i) {
        EXPECT_EQ(m.module->GetPin(i)->Variable(), nullptr) << i;
        EXPECT_EQ(m.module->GetPin(i)->Datatype(), -1) << i;
    }
}

}  // namespace

namespace {

// Waves as the list text sees them: a name and a selector, or neither (the wave for every other value).
struct NegativeWave {
    static constexpr int16_t kSelector = -12;
    static constexpr const char* kName = "low";
};
struct WideWave {
    static constexpr int16_t kSelector = 32767;
    static constexpr const char* kName = "wide";
};
struct ZeroWave {
    static constexpr int16_t kSelector = 0;
    static constexpr const char* kName = "z";
};
struct UnlistedWave {};

}  // namespace

// The Wave pin's list text is made from the list of waves: every listed wave once, in the list's order,
// with its selector in decimal (signs and every digit), and nothing for the wave of every other value.
TEST(WaveListText, NamesEveryListedWaveWithItsSelector) {
    constexpr auto text = vexlo::ListTextOf(vexlo::WaveList<NegativeWave, UnlistedWave, WideWave, ZeroWave>{});
    EXPECT_STREQ(text.data(), "low=-12,wide=32767,z=0");
    EXPECT_EQ(text.size(), std::strlen(text.data()) + 1) << "exactly the text and its null";
    EXPECT_STREQ(vexlo::kWaveListText.data(), "sine=0,triangle=1,square=2");
}
