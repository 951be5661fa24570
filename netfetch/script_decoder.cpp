#include <cstdint>
#include <cstring>
#include <string>

#include "netfetch.h"

namespace {

// An encoded block: "#@~^", the encoded length as six base64 digits and "==",
// the encoded text, a checksum as six base64 digits and "==", then "^#~@".
constexpr char kBlockStart[] = "#@~^";
constexpr char kBlockEnd[] = "^#~@";
constexpr size_t kMarkerSize = 4;
constexpr size_t kNumberSize = 8;

// Which of the three substitutions applies at each position of the text,
// repeating every 64 characters.
constexpr uint8_t kPick[64] = {
    1, 2, 0, 1, 2, 0, 2, 0, 0, 2, 0, 2, 1, 0, 2, 0, 1, 0, 2, 0, 1, 1, 2, 0, 0, 2, 1, 0, 2, 0, 0, 2,
    1, 1, 0, 2, 0, 2, 0, 1, 0, 1, 1, 2, 0, 1, 0, 2, 1, 0, 2, 0, 1, 1, 2, 0, 0, 1, 1, 2, 0, 1, 0, 2,
};

// The plain character behind each encoded character 0x20..0x7F, one table per
// substitution. '@' never reaches them: it introduces an escape.
// clang-format off
constexpr uint8_t kPlain[3][96] = {
    {
        0x32,0x30,0x21,0x29,0x5B,0x38,0x33,0x3D,0x58,0x3A,0x35,0x65,0x39,0x5C,0x56,0x73,  // 0x2_
        0x66,0x4E,0x45,0x6B,0x62,0x59,0x78,0x5E,0x7D,0x4A,0x6D,0x71,0x3C,0x60,0x3E,0x53,  // 0x3_
        0x40,0x42,0x27,0x48,0x72,0x75,0x31,0x37,0x4D,0x52,0x22,0x54,0x6A,0x47,0x64,0x2D,  // 0x4_
        0x20,0x7F,0x2E,0x4C,0x5D,0x7E,0x6C,0x6F,0x79,0x74,0x43,0x26,0x76,0x25,0x24,0x2B,  // 0x5_
        0x28,0x23,0x41,0x34,0x09,0x2A,0x44,0x3F,0x77,0x3B,0x55,0x69,0x61,0x63,0x50,0x67,  // 0x6_
        0x51,0x49,0x4F,0x46,0x68,0x7C,0x36,0x70,0x6E,0x7A,0x2F,0x5F,0x4B,0x5A,0x2C,0x57,  // 0x7_
    },
    {
        0x2E,0x47,0x7A,0x56,0x42,0x6A,0x2F,0x26,0x49,0x41,0x34,0x32,0x5B,0x76,0x72,0x43,  // 0x2_
        0x38,0x39,0x70,0x45,0x68,0x71,0x4F,0x09,0x62,0x44,0x23,0x75,0x3C,0x7E,0x3E,0x5E,  // 0x3_
        0x40,0x77,0x4A,0x61,0x5D,0x22,0x4B,0x6F,0x4E,0x3B,0x4C,0x50,0x67,0x2A,0x7D,0x74,  // 0x4_
        0x54,0x2B,0x2D,0x2C,0x30,0x6E,0x6B,0x66,0x35,0x25,0x21,0x64,0x4D,0x52,0x63,0x3F,  // 0x5_
        0x7B,0x78,0x29,0x28,0x73,0x59,0x33,0x7F,0x6D,0x55,0x53,0x7C,0x3A,0x5F,0x65,0x46,  // 0x6_
        0x58,0x31,0x69,0x6C,0x5A,0x48,0x27,0x5C,0x3D,0x24,0x79,0x37,0x60,0x51,0x20,0x36,  // 0x7_
    },
    {
        0x2D,0x75,0x52,0x60,0x71,0x5E,0x49,0x5C,0x62,0x7D,0x29,0x36,0x20,0x7C,0x7A,0x7F,  // 0x2_
        0x6B,0x63,0x33,0x2B,0x68,0x51,0x66,0x76,0x31,0x64,0x54,0x43,0x3C,0x3A,0x3E,0x7E,  // 0x3_
        0x40,0x45,0x2C,0x2A,0x74,0x27,0x37,0x44,0x79,0x59,0x2F,0x6F,0x26,0x72,0x6A,0x39,  // 0x4_
        0x7B,0x3F,0x38,0x77,0x67,0x53,0x47,0x34,0x78,0x5D,0x30,0x23,0x5A,0x5B,0x6C,0x48,  // 0x5_
        0x55,0x70,0x69,0x2E,0x4C,0x21,0x24,0x4E,0x50,0x09,0x56,0x73,0x35,0x61,0x4B,0x58,  // 0x6_
        0x3B,0x57,0x22,0x6D,0x4D,0x25,0x28,0x46,0x4A,0x32,0x41,0x3D,0x5F,0x4F,0x42,0x65,  // 0x7_
    },
};
// clang-format on
// The plain character behind an encoded tab.
constexpr uint8_t kPlainOfTab[3] = {0x7B, 0x57, 0x6E};

int Base64Digit(uint8_t c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// The length and the checksum are 32-bit little-endian values written as
// base64 ("XXXXXX==").
bool ReadNumber(const uint8_t* p, const uint8_t* end, uint32_t& value) {
    if (end - p < static_cast<ptrdiff_t>(kNumberSize) || p[6] != '=' || p[7] != '=') {
        return false;
    }
    int d[6];
    for (int i = 0; i < 6; ++i) {
        d[i] = Base64Digit(p[i]);
        if (d[i] < 0) {
            return false;
        }
    }
    const uint32_t b0 = static_cast<uint32_t>((d[0] << 2) | (d[1] >> 4)) & 0xFF;
    const uint32_t b1 = static_cast<uint32_t>((d[1] << 4) | (d[2] >> 2)) & 0xFF;
    const uint32_t b2 = static_cast<uint32_t>((d[2] << 6) | d[3]) & 0xFF;
    const uint32_t b3 = static_cast<uint32_t>((d[4] << 2) | (d[5] >> 4)) & 0xFF;
    value = b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
    return true;
}

char Unescape(uint8_t c) {
    switch (c) {
        case '&':
            return '\n';
        case '#':
            return '\r';
        case '!':
            return '<';
        case '*':
            return '>';
        case '$':
            return '@';
        default:
            return static_cast<char>(c);
    }
}

// Bytes of the one character starting at p (at least 0x80). The encoder
// counts characters, not bytes, and leaves these unchanged. The text is
// UTF-8 where it is valid UTF-8; otherwise a GBK lead byte takes its trail
// byte with it, which may look like ASCII and must not be decoded.
size_t WideCharacterSize(const uint8_t* p, const uint8_t* end) {
    size_t size = 0;
    if (p[0] >= 0xC2 && p[0] <= 0xDF) {
        size = 2;
    } else if (p[0] >= 0xE0 && p[0] <= 0xEF) {
        size = 3;
    } else if (p[0] >= 0xF0 && p[0] <= 0xF4) {
        size = 4;
    }
    bool utf8 = size != 0 && end - p >= static_cast<ptrdiff_t>(size);
    for (size_t i = 1; utf8 && i < size; ++i) {
        utf8 = (p[i] & 0xC0) == 0x80;
    }
    if (utf8) {
        return size;
    }
    if (p[0] >= 0x81 && p[0] <= 0xFE && end - p >= 2 && p[1] >= 0x40 && p[1] != 0x7F &&
        p[1] != 0xFF) {
        return 2;
    }
    return 1;
}

// Decodes the block whose start marker ends at p. On success `plain` holds the
// text and `next` points after the end marker; a malformed block answers false.
bool DecodeBlock(const uint8_t* p, const uint8_t* end, std::string& plain, const uint8_t*& next) {
    uint32_t remaining = 0;
    if (!ReadNumber(p, end, remaining)) {
        return false;
    }
    p += kNumberSize;
    plain.clear();
    size_t position = 0;
    while (remaining > 0) {
        if (p >= end) {
            return false;
        }
        const uint8_t c = *p;
        const uint8_t pick = kPick[position % 64];
        if (c == '@') {
            if (remaining < 2 || end - p < 2) {
                return false;
            }
            plain += Unescape(p[1]);
            p += 2;
            remaining -= 2;
            ++position;
        } else if (c < 0x80) {
            if (c == '\t') {
                plain += static_cast<char>(kPlainOfTab[pick]);
            } else if (c >= 0x20) {
                plain += static_cast<char>(kPlain[pick][c - 0x20]);
            } else {
                plain += static_cast<char>(c);
            }
            ++p;
            --remaining;
            ++position;
        } else {
            const size_t size = WideCharacterSize(p, end);
            plain.append(reinterpret_cast<const char*>(p), size);
            p += size;
            --remaining;
        }
    }
    // The checksum only guards against damage in transit; a block that does
    // not match it still reads better decoded than encoded.
    uint32_t checksum = 0;
    if (!ReadNumber(p, end, checksum)) {
        return false;
    }
    p += kNumberSize;
    if (end - p < static_cast<ptrdiff_t>(kMarkerSize) ||
        std::memcmp(p, kBlockEnd, kMarkerSize) != 0) {
        return false;
    }
    next = p + kMarkerSize;
    return true;
}

}  // namespace

int CEncoder::ScriptDecoder(const char* in, char* out, int length) {
    if (out == nullptr) {
        return 0;
    }
    if (in == nullptr || length <= 0) {
        out[0] = '\0';
        return 0;
    }
    const auto* p = reinterpret_cast<const uint8_t*>(in);
    const uint8_t* const end = p + length;
    // Output never outruns input (a block always shrinks), so `out` may even
    // be `in` itself.
    char* written = out;
    std::string plain;
    while (p < end) {
        const uint8_t* next = nullptr;
        if (end - p >= static_cast<ptrdiff_t>(kMarkerSize) &&
            std::memcmp(p, kBlockStart, kMarkerSize) == 0 &&
            DecodeBlock(p + kMarkerSize, end, plain, next)) {
            std::memcpy(written, plain.data(), plain.size());
            written += plain.size();
            p = next;
            continue;
        }
        *written++ = static_cast<char>(*p++);
    }
    *written = '\0';
    return static_cast<int>(written - out);
}
