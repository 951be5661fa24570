#include <optional>

#include "netfetch.h"

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The value of `digits` hexadecimal digits at text[at], if they are all there.
std::optional<unsigned> ReadHex(const std::string& text, size_t at, size_t digits) {
    if (at + digits > text.size()) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (size_t i = 0; i < digits; ++i) {
        const int digit = HexValue(text[at + i]);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return value;
}

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

bool IsHighSurrogate(unsigned unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(unsigned unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::string CEscaper::unescape(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] != '%') {
            out += text[i++];
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == 'u') {
            if (const auto unit = ReadHex(text, i + 2, 4)) {
                i += 6;
                unsigned code = *unit;
                // A script string holds UTF-16: a surrogate pair written as two
                // escapes is one character, and a lone half has no UTF-8 form.
                if (IsHighSurrogate(code)) {
                    const bool pairEscape =
                        i + 1 < text.size() && text[i] == '%' && text[i + 1] == 'u';
                    const auto low = pairEscape ? ReadHex(text, i + 2, 4) : std::nullopt;
                    if (low && IsLowSurrogate(*low)) {
                        code = 0x10000 + ((code - 0xD800) << 10) + (*low - 0xDC00);
                        i += 6;
                    } else {
                        code = 0xFFFD;
                    }
                } else if (IsLowSurrogate(code)) {
                    code = 0xFFFD;
                }
                AppendUtf8(out, code);
                continue;
            }
        }
        if (const auto byte = ReadHex(text, i + 1, 2)) {
            out += static_cast<char>(*byte);
            i += 3;
            continue;
        }
        out += text[i++];
    }
    return out;
}
