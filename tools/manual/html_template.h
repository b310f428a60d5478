// The manual's text lives in an HTML template; what the build measures and draws fills its
// {{name}} fields.
#ifndef VEXLO_MANUAL_HTML_TEMPLATE_H
#define VEXLO_MANUAL_HTML_TEMPLATE_H

#include <map>
#include <string>

namespace manual {

using Fields = std::map<std::string, std::string>;

// The template with every {{name}} replaced by its field. Throws std::runtime_error naming a field the
// template asks for that is not given, and a field given that the template never uses (so that a
// measurement cannot silently drop out of the text).
std::string FillTemplate(const std::string& text, const Fields& fields);

// Text made safe inside HTML elements and attribute values.
std::string EscapeHtml(const std::string& text);

}  // namespace manual

#endif  // VEXLO_MANUAL_HTML_TEMPLATE_H
