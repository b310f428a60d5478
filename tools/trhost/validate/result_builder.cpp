#include "result_builder.h"

#include "allocation_counter.h"

namespace trhost::validate {

const char* VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass: return "PASS";
        case Verdict::kWarn: return "WARN";
        case Verdict::kFail: return "FAIL";
        case Verdict::kCrash: return "CRASH";
        case Verdict::kSkip: return "SKIP";
    }
    return "?";
}

void ResultBuilder::Keep(std::vector<std::string>& list, size_t& dropped, const std::string& text) {
    if (list.size() < kKeptFindings) {
        list.push_back(text);
    } else {
        ++dropped;
    }
}

void ResultBuilder::Add(MessageKind kind, const std::string& text) {
    switch (kind) {
        case MessageKind::kStage: m_stage = text; break;
        case MessageKind::kFail: Keep(m_result.failures, m_dropped_failures, text); break;
        case MessageKind::kWarn: Keep(m_result.warnings, m_dropped_warnings, text); break;
        case MessageKind::kInfo: Keep(m_result.infos, m_dropped_infos, text); break;
        case MessageKind::kSkip: m_result.skipped = text; break;
    }
}

void ResultBuilder::Crashed(const std::string& how) {
    m_result.crash = how;
    if (!m_stage.empty()) m_result.crash += " during: " + m_stage;
}

void ResultBuilder::Failed(const std::string& how) {
    std::string text = how;
    if (!m_stage.empty()) text += " during: " + m_stage;
    m_result.failures.insert(m_result.failures.begin(), text);
}

CheckResult ResultBuilder::Finish(double seconds) {
    auto more = [](std::vector<std::string>& list, size_t dropped) {
        if (dropped) list.push_back("... and " + std::to_string(dropped) + " more");
    };
    more(m_result.failures, m_dropped_failures);
    more(m_result.warnings, m_dropped_warnings);
    more(m_result.infos, m_dropped_infos);
    if (!m_result.crash.empty()) {
        m_result.verdict = Verdict::kCrash;
    } else if (!m_result.failures.empty()) {
        m_result.verdict = Verdict::kFail;
    } else if (!m_result.warnings.empty()) {
        m_result.verdict = Verdict::kWarn;
    } else if (!m_result.skipped.empty()) {
        m_result.verdict = Verdict::kSkip;
    } else {
        m_result.verdict = Verdict::kPass;
    }
    m_result.seconds = seconds;
    return m_result;
}

std::string MessageLine(MessageKind kind, const std::string& text) {
    std::string line(1, static_cast<char>(kind));
    line += ' ';
    for (char c : text) line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    return line;
}

std::string CheckEndLine() { return "D\n"; }

void MessageLineReader::Take(const char* data, size_t size) {
    m_pending.append(data, size);
    std::string::size_type end;
    while ((end = m_pending.find('\n')) != std::string::npos) {
        std::string line = m_pending.substr(0, end);
        m_pending.erase(0, end + 1);
        if (line + "\n" == CheckEndLine()) {
            m_ended = true;
        } else if (line.size() >= 2) {
            m_builder.Add(static_cast<MessageKind>(line[0]), line.substr(2));
        }
    }
}

ForwardingContext::ForwardingContext(const ModuleLibrary& library, uint32_t seed, int level, Sink sink)
    : m_library(library), m_random(seed), m_level(level), m_sink(std::move(sink)) {}

bool ForwardingContext::CountsAllocations() const { return AllocationCountingAvailable(); }

}  // namespace trhost::validate
