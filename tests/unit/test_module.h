// A module for unit tests of the framework: describes the pins it is given, and logs what the
// framework asks of it and tells it.
#ifndef TEST_MODULE_H
#define TEST_MODULE_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "assert_recorder.h"
#include "tr_module_base.h"

struct StatusNotice {
    TRPin* pin;
    int32_t state_during;  // the pin's state while the module is being told
};

struct DataNotice {
    uint32_t time_stamp;
    int32_t value;
    uint16_t number;
    size_t checks_before;  // failed checks reported before this delivery
};

class TestModule : public TRModule_base {
public:
    // One pin the test module describes. Only these fields (plus direction and name) are written.
    struct Pin {
        int32_t datatype;
        void* variable;  // null: the pin gets storage of its own
        int32_t flags = 0;
    };

    // `journal` outlives the module, so tests can read what happened up to its deletion.
    TestModule(TRHostCallback callback, uint32_t handle, std::vector<std::string>* journal = nullptr)
        : TRModule_base(callback, handle), m_journal(journal) {}
    ~TestModule() override { Note("destroyed"); }

    bool GetPinProperties(int32_t index, PinProperties* properties) override {
        asked.push_back(index);
        static const PinProperties kClear{};
        record_clear_on_entry.push_back(std::memcmp(properties, &kClear, sizeof kClear) == 0);
        if (index < 0 || index >= static_cast<int32_t>(pins.size())) return false;
        const Pin& pin = pins[static_cast<size_t>(index)];
        properties->variable_address = pin.variable;
        properties->direction = PIN_IN;
        properties->datatype = pin.datatype;
        properties->name = "pin";
        properties->flags = pin.flags;
        return true;
    }

    void OnPinStatusChanged(TRPin* pin) override { status_notices.push_back({pin, pin->State()}); }
    void OnDataEvent(uint32_t time_stamp, int32_t value, uint16_t number) override {
        data_notices.push_back({time_stamp, value, number, AssertRecorder::Checks().size()});
    }
    void OnHostNotify() override { Note("notify"); }
    void OnHostIndexedNotify(int32_t index, void* ptr) override {
        Note("indexed notify " + std::to_string(index) + " " + std::to_string(reinterpret_cast<uintptr_t>(ptr)));
    }
    void Close() override {
        // What is still there when the module releases its own resources.
        TRPin* first = PinCount() > 0 ? GetPin(0) : nullptr;
        Note("close pins=" + std::to_string(PinCount()) + " first=" + std::to_string(first ? first->Index() : -1));
    }

    std::vector<Pin> pins;
    std::vector<int32_t> asked;               // indices GetPinProperties was asked for, in order
    std::vector<bool> record_clear_on_entry;  // per ask: was the record all zero on entry
    std::vector<StatusNotice> status_notices;
    std::vector<DataNotice> data_notices;

private:
    void Note(const std::string& what) {
        if (m_journal) m_journal->push_back(what);
    }
    std::vector<std::string>* m_journal;
};

#endif  // TEST_MODULE_H
