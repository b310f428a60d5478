#include "junit_report.h"

#include <cstdio>

namespace trhost::validate {

namespace {

// Length of the well-formed UTF-8 sequence at `at`, or 0.
size_t Utf8Length(const std::string& text, size_t at) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(at);
    size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead <= 0xDF ? 2 : 0;
    if (length == 0 || at + length > text.size()) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    }
    // Overlong forms, surrogates and values past U+10FFFF.
    unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) || (lead == 0xF0 && second < 0x90) ||
        (lead == 0xF4 && second >= 0x90)) {
        return 0;
    }
    return length;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

std::string Attribute(const char* name, const std::string& value) {
    return std::string(" ") + name + "=\"" + XmlText(value) + "\"";
}

std::string Lines(const std::string& prefix, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += prefix + line + "\n";
    return text;
}

}  // namespace

std::string XmlText(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            size_t length = Utf8Length(text, i);
            out += length ? text.substr(i, length) : "?";
            i += length ? length : 1;
            continue;
        }
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            case '\t':
            case '\n':
            case '\r': out += static_cast<char>(c); break;
            default: out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c); break;
        }
        ++i;
    }
    return out;
}

void WriteJUnitReport(std::ostream& out, const RunDescription& run, const std::vector<CheckResult>& results) {
    int failures = 0, errors = 0, skipped = 0;
    double total = 0.0;
    for (const auto& result : results) {
        failures += result.verdict == Verdict::kFail;
        errors += result.verdict == Verdict::kCrash;
        skipped += result.verdict == Verdict::kSkip;
        total += result.seconds;
    }
    std::string counts = Attribute("tests", std::to_string(results.size())) +
                         Attribute("failures", std::to_string(failures)) + Attribute("errors", std::to_string(errors)) +
                         Attribute("skipped", std::to_string(skipped)) + Attribute("time", Seconds(total));
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out << "<testsuites" << Attribute("name", "trhost validate") << counts << ">\n";
    out << "  <testsuite" << Attribute("name", "trhost validate " + run.library) << counts << ">\n";
    out << "    <properties>\n";
    out << "      <property" << Attribute("name", "library") << Attribute("value", run.library) << "/>\n";
    out << "      <property" << Attribute("name", "seed") << Attribute("value", std::to_string(run.seed)) << "/>\n";
    out << "      <property" << Attribute("name", "level") << Attribute("value", std::to_string(run.level)) << "/>\n";
    out << "    </properties>\n";
    for (const auto& result : results) {
        out << "    <testcase" << Attribute("classname", "trhost.validate") << Attribute("name", result.name)
            << Attribute("time", Seconds(result.seconds)) << ">\n";
        std::string details = Lines("", result.failures);
        switch (result.verdict) {
            case Verdict::kFail:
                out << "      <failure" << Attribute("message", result.failures.empty() ? "" : result.failures.front())
                    << ">" << XmlText(details + "reproduce: " + ReproduceCommand(run, result.name)) << "</failure>\n";
                break;
            case Verdict::kCrash:
                out << "      <error" << Attribute("message", result.crash) << ">"
                    << XmlText(result.crash + "\n" + details + "reproduce: " + ReproduceCommand(run, result.name))
                    << "</error>\n";
                break;
            case Verdict::kSkip: out << "      <skipped" << Attribute("message", result.skipped) << "/>\n"; break;
            default: break;
        }
        std::string output = Lines("warn: ", result.warnings) + Lines("info: ", result.infos);
        if (!output.empty()) out << "      <system-out>" << XmlText(output) << "</system-out>\n";
        out << "    </testcase>\n";
    }
    out << "  </testsuite>\n</testsuites>\n";
}

}  // namespace trhost::validate
