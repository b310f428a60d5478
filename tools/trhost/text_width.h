// The width of a text in a terminal's columns: one per character, so that "±" and "°" (two bytes in
// UTF-8) take one column like any letter.
#ifndef TRHOST_TEXT_WIDTH_H
#define TRHOST_TEXT_WIDTH_H

#include <algorithm>
#include <string>

namespace trhost {

inline size_t TextWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

}  // namespace trhost

#endif  // TRHOST_TEXT_WIDTH_H
