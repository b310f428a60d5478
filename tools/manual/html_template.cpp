#include "html_template.h"

#include <set>
#include <stdexcept>

namespace manual {

std::string FillTemplate(const std::string& text, const Fields& fields) {
    std::string result;
    std::set<std::string> used;
    size_t at = 0;
    for (;;) {
        const size_t open = text.find("{{", at);
        if (open == std::string::npos) break;
        const size_t close = text.find("}}", open + 2);
        if (close == std::string::npos) throw std::runtime_error("unclosed {{ in the template");
        const std::string name = text.substr(open + 2, close - open - 2);
        const auto field = fields.find(name);
        if (field == fields.end())
            throw std::runtime_error("the template asks for {{" + name + "}}, which is not made");
        result += text.substr(at, open - at) + field->second;
        used.insert(name);
        at = close + 2;
    }
    result += text.substr(at);
    for (const auto& [name, value] : fields) {
        if (!used.count(name)) throw std::runtime_error("{{" + name + "}} is made but the template never shows it");
    }
    return result;
}

std::string EscapeHtml(const std::string& text) {
    std::string result;
    for (char c : text) {
        switch (c) {
            case '&': result += "&amp;"; break;
            case '<': result += "&lt;"; break;
            case '>': result += "&gt;"; break;
            case '"': result += "&quot;"; break;
            default: result += c;
        }
    }
    return result;
}

}  // namespace manual
