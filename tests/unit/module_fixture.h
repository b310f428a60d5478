// A test module on a fake host, reached through its plug record as the host would reach it.
#ifndef MODULE_FIXTURE_H
#define MODULE_FIXTURE_H

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "assert_recorder.h"
#include "fake_host.h"
#include "test_module.h"

class ModuleTest : public ::testing::Test {
protected:
    static constexpr uint32_t kHandle = 0xC0FFEE01u;

    ~ModuleTest() override { delete module; }

    int32_t Dispatch(uint32_t opcode, int32_t index = 0, int32_t value = 0, void* ptr = nullptr, float opt = 0.0f) {
        TRMod_struct* record = module->Plug();
        return record->dispatcher(record, static_cast<int32_t>(opcode), index, value, ptr, opt);
    }
    // Deletes the instance through DISP_CLOSE; the fixture then has nothing left to delete.
    int32_t Close() {
        int32_t answer = Dispatch(DISP_CLOSE);
        module = nullptr;
        return answer;
    }
    int32_t Send(TREvent event) {
        TRMod_struct* record = module->Plug();
        return record->event(record->object, &event);
    }
    static TREvent Event(uint32_t time_stamp, int32_t type, int32_t param1 = 0, int32_t param2 = 0,
                         void* ptr = nullptr) {
        return TREvent{time_stamp, type, param1, param2, ptr, nullptr};
    }
    static void* AsPtr(uint32_t n) { return reinterpret_cast<void*>(static_cast<uintptr_t>(n)); }

    // Opens with `count` host pins and `descriptions`, and forgets the calls made so far.
    void OpenWith(int32_t count, std::vector<TestModule::Pin> descriptions) {
        host.pin_count = count;
        module->pins = std::move(descriptions);
        EXPECT_EQ(Dispatch(DISP_OPEN), 0);
    }

    // Whether the pin's value lives in the pin itself rather than in a module member.
    static bool HasOwnStorage(TRPin* pin) {
        auto* v = static_cast<char*>(pin->Variable());
        return v >= reinterpret_cast<char*>(pin) && v < reinterpret_cast<char*>(pin + 1);
    }

    FakeHost host;
    AssertRecorder asserts;
    std::vector<std::string> journal;
    TestModule* module = new TestModule(FakeHost::Callback, kHandle, &journal);
};

#endif  // MODULE_FIXTURE_H
