#include "terminal_text.h"

#include <cstdio>

namespace cli {
namespace {

// The length of the UTF-8 sequence at the start of `text`; 0 when it is not
// one (a stray continuation byte, a cut or overlong sequence, a surrogate).
size_t SequenceLength(std::string_view text) {
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead < 0x80) {
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

}  // namespace

std::string TerminalText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    while (!text.empty()) {
        const auto lead = static_cast<unsigned char>(text.front());
        const size_t length = SequenceLength(text);
        if (length == 0) {
            AppendEscape(out, "\\x%02x", lead);
            text.remove_prefix(1);
            continue;
        }
        if (lead == '\t') {
            out += "\\t";
        } else if (lead == '\r') {
            out += "\\r";
        } else if (lead == '\n') {
            out += "\\n";
        } else if (lead < 0x20 || lead == 0x7F) {
            AppendEscape(out, "\\x%02x", lead);
        } else if (lead == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
            AppendEscape(out, "\\u%04x", static_cast<unsigned char>(text[1]));
        } else {
            out.append(text.substr(0, length));
        }
        text.remove_prefix(length);
    }
    return out;
}

}  // namespace cli
