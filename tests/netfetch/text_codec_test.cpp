#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netfetch.h"

namespace {

TEST(Unescape, DecodesEscapesAsAScriptWould) {
    EXPECT_EQ(CEscaper::unescape("%41%42c%2f%D6%D0"), "ABc/\xD6\xD0");
    EXPECT_EQ(CEscaper::unescape("%u4E2D%u6587 %u00e9"), "\xE4\xB8\xAD\xE6\x96\x87 \xC3\xA9");
    EXPECT_EQ(CEscaper::unescape("a%00b"), std::string("a\0b", 3));
    EXPECT_EQ(CEscaper::unescape("%uD83D%uDE00"), "\xF0\x9F\x98\x80");
    // Half a surrogate pair has no UTF-8 form.
    EXPECT_EQ(CEscaper::unescape("%uD83D%u0041%uDE00"),
              "\xEF\xBF\xBD"
              "A\xEF\xBF\xBD");
    for (const char* text : {"100%", "%", "%4", "%zz", "%u12", "%u12G4", "%U4E2D"}) {
        EXPECT_EQ(CEscaper::unescape(text), text);
    }
    EXPECT_EQ(CEscaper::unescape("%%41%u%u0041"), "%A%uA");
}

// An encoder of the script block format written from its public description,
// so the decoder is checked against something it did not make. Each plain
// character but CR, LF, '<', '>' and '@' (escaped) becomes one of three
// characters chosen by its position; other characters pass unchanged.
const char* const kTriples[97] = {
    "d7i", "P~,",     "\"Ze", "JEr",  "a:[",    "^yf", "]Yu", "['L",  "BvE", "`cv", "#b*",
    "eMC", "_Q3",     "~SB",  "OR ",  "R c",    "z&J", "!TZ", "Fq8",  " +y", "&f2", "c*W",
    "*Xl", "v\x7F+",  "G{F",  "%0R",  ",1O",    ")l=", "iIp", "",     "'x{", "",    "g_Q",
    "",    "b)z",     "A$~",  "Z/;",  "f9G",    "23A", "sow", "M!V",  "Cu_", "q(&", "9Bx",
    "|Fn", "SJd",     "H\\t", "1Hg",  "r6}",    "nKh", "p}5", "I]\"", "?jU", "KP:", "ji`",
    ".#j", "\x7F\tq", "(po",  "5eI",  "}t\\",   "$,]", "-w'", "TDY",  "7?%", "{m|", "=|#",
    "lCm", "48(",     "m^1",  "N[9",  "+n\x7F", "0W6", "oLT", "t44",  "krb", "L%N", "3V0",
    "Vs^", ":hs",     "xU\t", "WGK",  "w2a",    ";5$", "D.M", "/dk",  "YOD", "E;!", "\\-7",
    "hAS", "6aX",     "XzH",  "y\".", "\t`P",   "uk-", "8N)", "U=?",  "Qg/",
};
const uint8_t kPick[64] = {1, 2, 0, 1, 2, 0, 2, 0, 0, 2, 0, 2, 1, 0, 2, 0, 1, 0, 2, 0, 1, 1,
                           2, 0, 0, 2, 1, 0, 2, 0, 0, 2, 1, 1, 0, 2, 0, 2, 0, 1, 0, 1, 1, 2,
                           0, 1, 0, 2, 1, 0, 2, 0, 1, 1, 2, 0, 0, 1, 1, 2, 0, 1, 0, 2};

// A 32-bit little-endian value in base64: six digits and "==".
std::string Number(uint32_t v) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const uint32_t b0 = v & 0xFF, b1 = (v >> 8) & 0xFF, b2 = (v >> 16) & 0xFF, b3 = v >> 24;
    return {digits[b0 >> 2],
            digits[((b0 & 3) << 4) | (b1 >> 4)],
            digits[((b1 & 15) << 2) | (b2 >> 6)],
            digits[b2 & 63],
            digits[b3 >> 2],
            digits[(b3 & 3) << 4],
            '=',
            '='};
}

// `doubleByte`: bytes from 0x80 start two-byte (GBK) characters, not UTF-8.
std::string Encode(const std::string& plain, bool doubleByte = false) {
    std::string body;
    uint32_t length = 0;
    uint32_t checksum = 0;
    size_t position = 0;
    for (size_t i = 0; i < plain.size(); ++length) {
        const auto c = static_cast<unsigned char>(plain[i]);
        if (c >= 0x80) {
            const size_t size = doubleByte ? 2 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
            body.append(plain, i, size);
            i += size;
            continue;
        }
        const std::string escapes = "\n&\r#<!>*@$";
        const size_t escape = escapes.find(static_cast<char>(c));
        if (escape != std::string::npos && escape % 2 == 0) {
            body += {'@', escapes[escape + 1]};
            ++length;
        } else if (c == '\t' || c >= 0x20) {
            body += kTriples[c == '\t' ? 0 : c - 0x1F][kPick[position % 64]];
        } else {
            body += static_cast<char>(c);
        }
        checksum += c;
        ++position;
        ++i;
    }
    return "#@~^" + Number(length) + body + Number(checksum) + "^#~@";
}

std::string Decode(const std::string& text) {
    std::vector<char> out(text.size() + 1, 'U');
    const int written =
        CEncoder::ScriptDecoder(text.data(), out.data(), static_cast<int>(text.size()));
    EXPECT_EQ(out.at(static_cast<size_t>(written)), '\0');
    return std::string(out.data(), static_cast<size_t>(written));
}

TEST(ScriptDecoder, DecodesTheWorkedExampleOfTheFormat) {
    // CR LF take positions 0 and 1; 'A' then follows substitutions 0,1,2,0,2,0,0,2.
    const std::string block = "#@~^DAAAAA==@#@&b)zbzbbz" + Number(13 + 10 + 65 * 8) + "^#~@";
    EXPECT_EQ(Encode("\r\nAAAAAAAA"), block);
    EXPECT_EQ(Decode(block), "\r\nAAAAAAAA");
}

TEST(ScriptDecoder, RoundTripsBlocksAmidPlainText) {
    std::string ascii = "\t\x01";
    for (int c = 0x20; c < 0x80; ++c) {
        ascii += static_cast<char>(c);
    }
    const std::string script =
        "document.write(\"<a href='x?id=1&t=2'>\xE4\xB8\xAD\xE6\x96\x87</a>\");\r\n" + ascii +
        ascii + "\n@ \xF0\x9F\x98\x80";
    const std::string page =
        "<script>" + Encode(script) + "</script> #@~ ^#~@ " + Encode("var s;") + " tail";
    EXPECT_EQ(Decode(page), "<script>" + script + "</script> #@~ ^#~@ var s; tail");
    // GBK trail bytes 0x40 and 0x61 look like '@' and 'a' but are not decoded.
    const std::string gbk = "t=\"\x81\x40\xB0\x61\xD6\xD0\";";
    EXPECT_EQ(Decode(Encode(gbk, true)), gbk);
    // Decoding in place: the output never overtakes the input.
    std::string text = "<%" + Encode("if (a < b) c = '@';") + "%>";
    text.resize(static_cast<size_t>(
        CEncoder::ScriptDecoder(text.data(), text.data(), static_cast<int>(text.size()))));
    EXPECT_EQ(text, "<%if (a < b) c = '@';%>");
}

TEST(ScriptDecoder, LeavesMalformedBlocksAsTheyAre) {
    const std::string good = Encode("alert(1)");
    const std::vector<std::string> broken = {
        "#@~^",
        "x #@~^!!!!!!==abc^#~@",
        good.substr(0, good.size() - 4),                 // no end marker
        "#@~^" + Number(500) + good.substr(12),          // longer than the input
        good.substr(0, good.size() - 12) + "^#~@",       // no checksum
        "#@~^" + Number(1) + "@&" + Number(0) + "^#~@",  // length splits an escape
    };
    for (const std::string& text : broken) {
        EXPECT_EQ(Decode(text), text);
    }
    EXPECT_EQ(Decode(broken[1] + good), broken[1] + "alert(1)");
    char out[1] = {'x'};
    EXPECT_EQ(CEncoder::ScriptDecoder(nullptr, out, 5), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(CEncoder::ScriptDecoder("abc", nullptr, 3), 0);
}

}  // namespace
