// Gathering what a check reports into its result: messages arrive one at a time (through a pipe from a
// child process, or directly), the last stage is kept for a crash report, and long runs of findings
// are cut to the first few and a count.
#ifndef TRHOST_VALIDATE_RESULT_BUILDER_H
#define TRHOST_VALIDATE_RESULT_BUILDER_H

#include <functional>
#include <string>

#include "check.h"

namespace trhost::validate {

enum class MessageKind : char { kStage = 'S', kFail = 'F', kWarn = 'W', kInfo = 'I', kSkip = 'K' };

class ResultBuilder {
public:
    // Findings of one kind kept word for word; the rest are counted.
    static constexpr size_t kKeptFindings = 8;

    explicit ResultBuilder(std::string name) { m_result.name = std::move(name); }

    void Add(MessageKind kind, const std::string& text);
    // The check ended abnormally: killed by a signal or exception, or out of time.
    void Crashed(const std::string& how);
    void Failed(const std::string& how);
    const std::string& LastStage() const { return m_stage; }

    CheckResult Finish(double seconds);

private:
    void Keep(std::vector<std::string>& list, size_t& dropped, const std::string& text);

    CheckResult m_result;
    std::string m_stage;
    size_t m_dropped_failures = 0;
    size_t m_dropped_warnings = 0;
    size_t m_dropped_infos = 0;
};

// How a check in a child process sends its messages to the runner: one line per message, and a last
// line when the check ran to its end, so that the runner knows what the check saw even when the child
// dies part way.
std::string MessageLine(MessageKind kind, const std::string& text);
std::string CheckEndLine();
// Takes the child's output as it comes, in chunks of any size, and hands each message to `builder`.
class MessageLineReader {
public:
    explicit MessageLineReader(ResultBuilder& builder) : m_builder(builder) {}
    void Take(const char* data, size_t size);
    // Whether the check's end line came.
    bool CheckEnded() const { return m_ended; }

private:
    ResultBuilder& m_builder;
    std::string m_pending;
    bool m_ended = false;
};

// A check's context that hands every message to `sink`, and draws its random choices from the seed.
class ForwardingContext : public CheckContext {
public:
    using Sink = std::function<void(MessageKind, const std::string&)>;
    ForwardingContext(const ModuleLibrary& library, uint32_t seed, int level, Sink sink);

    const ModuleLibrary& Library() const override { return m_library; }
    Random& Rng() override { return m_random; }
    bool CountsAllocations() const override;
    int Level() const override { return m_level; }
    void Stage(const std::string& what) override { m_sink(MessageKind::kStage, what); }
    void Fail(const std::string& what) override { m_sink(MessageKind::kFail, what); }
    void Warn(const std::string& what) override { m_sink(MessageKind::kWarn, what); }
    void Info(const std::string& what) override { m_sink(MessageKind::kInfo, what); }
    void Skip(const std::string& why) override { m_sink(MessageKind::kSkip, why); }

private:
    const ModuleLibrary& m_library;
    Random m_random;
    int m_level;
    Sink m_sink;
};

}  // namespace trhost::validate

#endif  // TRHOST_VALIDATE_RESULT_BUILDER_H
