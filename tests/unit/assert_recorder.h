// Collects the framework's failed checks for the lifetime of the recorder instead of printing them.
#ifndef ASSERT_RECORDER_H
#define ASSERT_RECORDER_H

#include <string>
#include <vector>

#include "tr_assert.h"

struct FailedCheck {
    std::string expression;
    std::string source;
    int line;
};

class AssertRecorder {
public:
    AssertRecorder() : m_previous(TRSetAssertHandler(Record)) { Checks().clear(); }
    ~AssertRecorder() { TRSetAssertHandler(m_previous); }

    static std::vector<FailedCheck>& Checks() {
        static std::vector<FailedCheck> checks;
        return checks;
    }
    // The lines of the checks that failed, in order.
    static std::vector<int> Lines() {
        std::vector<int> lines;
        for (const FailedCheck& check : Checks()) lines.push_back(check.line);
        return lines;
    }

private:
    static void Record(const char* expression, const char* source, int line) {
        Checks().push_back({expression, source, line});
    }
    TRAssertHandler m_previous;
};

#endif  // ASSERT_RECORDER_H
