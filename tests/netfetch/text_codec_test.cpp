#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "netfetch.h"

namespace {

TEST(Unescape, DecodesByteAndUnitEscapes) {
    EXPECT_EQ(CEscaper::unescape("%41%42c%2f%2F"), "ABc//");
    EXPECT_EQ(CEscaper::unescape("%D6%D0%CE%C4"), "\xD6\xD0\xCE\xC4");
    EXPECT_EQ(CEscaper::unescape("%u4E2D%u6587 %u0041"), "\xE4\xB8\xAD\xE6\x96\x87 A");
    EXPECT_EQ(CEscaper::unescape("%u00e9%u00E9"), "\xC3\xA9\xC3\xA9");
    EXPECT_EQ(CEscaper::unescape("a%00b"), std::string("a\0b", 3));
    EXPECT_EQ(CEscaper::unescape("%uD83D%uDE00"), "\xF0\x9F\x98\x80");
}

TEST(Unescape, LeavesMalformedEscapesAlone) {
    for (const char* text : {"100%", "%", "%4", "%zz", "%u12", "%u12G4", "%U4E2D"}) {
        EXPECT_EQ(CEscaper::unescape(text), text);
    }
    EXPECT_EQ(CEscaper::unescape("%%41%u%u0041"), "%A%uA");
    // Half a surrogate pair has no UTF-8 form.
    EXPECT_EQ(CEscaper::unescape("%uD83Dx"), "\xEF\xBF\xBDx");
    EXPECT_EQ(CEscaper::unescape("%uDE00"), "\xEF\xBF\xBD");
    EXPECT_EQ(CEscaper::unescape("%uD83D%u0041"),
              "\xEF\xBF\xBD"
              "A");
}

// An encoder of the script block format, written from its public
// description, so the decoder is checked against something it did not make.
class BlockEncoder {
  public:
    // Plain characters other than CR, LF, '<', '>' and '@' (which are
    // escaped) become one of three characters, chosen by position.
    static constexpr const char* kTriples[97] = {
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
    static constexpr uint8_t kPick[64] = {
        1, 2, 0, 1, 2, 0, 2, 0, 0, 2, 0, 2, 1, 0, 2, 0, 1, 0, 2, 0, 1, 1,
        2, 0, 0, 2, 1, 0, 2, 0, 0, 2, 1, 1, 0, 2, 0, 2, 0, 1, 0, 1, 1, 2,
        0, 1, 0, 2, 1, 0, 2, 0, 1, 1, 2, 0, 0, 1, 1, 2, 0, 1, 0, 2,
    };

    // `doubleByte`: bytes from 0x80 up start two-byte (GBK) characters
    // instead of UTF-8 sequences.
    static std::string Encode(const std::string& plain, bool doubleByte = false) {
        std::string body;
        uint32_t length = 0;
        uint32_t checksum = 0;
        size_t position = 0;
        for (size_t i = 0; i < plain.size();) {
            const auto c = static_cast<unsigned char>(plain[i]);
            if (c >= 0x80) {
                const size_t size = doubleByte ? 2 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
                body.append(plain, i, size);
                i += size;
                ++length;
                continue;
            }
            checksum += c;
            const char* escape = c == '\n'   ? "@&"
                                 : c == '\r' ? "@#"
                                 : c == '<'  ? "@!"
                                 : c == '>'  ? "@*"
                                 : c == '@'  ? "@$"
                                             : nullptr;
            if (escape != nullptr) {
                body += escape;
                length += 2;
            } else if (c == '\t' || c >= 0x20) {
                body += kTriples[c == '\t' ? 0 : c - 0x1F][kPick[position % 64]];
                ++length;
            } else {
                body += static_cast<char>(c);
                ++length;
            }
            ++position;
            ++i;
        }
        return "#@~^" + Number(length) + body + Number(checksum) + "^#~@";
    }

    // A 32-bit little-endian value in base64: six digits and "==".
    static std::string Number(uint32_t value) {
        static const char kDigits[] =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
        std::string text;
        text += kDigits[b[0] >> 2];
        text += kDigits[((b[0] & 3) << 4) | (b[1] >> 4)];
        text += kDigits[((b[1] & 15) << 2) | (b[2] >> 6)];
        text += kDigits[b[2] & 63];
        text += kDigits[b[3] >> 2];
        text += kDigits[(b[3] & 3) << 4];
        return text + "==";
    }
};

std::string Decode(const std::string& text) {
    std::vector<char> out(text.size() + 1, '\x55');
    const int written =
        CEncoder::ScriptDecoder(text.data(), out.data(), static_cast<int>(text.size()));
    EXPECT_GE(written, 0);
    EXPECT_EQ(out[static_cast<size_t>(written)], '\0');
    return std::string(out.data(), static_cast<size_t>(written));
}

TEST(ScriptDecoder, DecodesTheWorkedExampleOfTheFormat) {
    // CR LF and eight 'A's: the escapes take positions 0 and 1, then 'A'
    // follows the substitutions 0,1,2,0,2,0,0,2 as 'b', ')', 'z'.
    const std::string block =
        "#@~^DAAAAA==@#@&b)zbzbbz" + BlockEncoder::Number(13 + 10 + 65 * 8) + "^#~@";
    EXPECT_EQ(BlockEncoder::Encode("\r\nAAAAAAAA"), block);
    EXPECT_EQ(Decode(block), "\r\nAAAAAAAA");
}

TEST(ScriptDecoder, RoundTripsBlocksAmidPlainText) {
    std::string ascii = "\t";
    for (int c = 0x20; c < 0x80; ++c) {
        ascii += static_cast<char>(c);
    }
    const std::string script =
        "document.write(\"<a href='x.php?id=1&t=2'>\xE4\xB8\xAD\xE6\x96\x87</a>\");\r\n" + ascii +
        ascii + "\n@end \xF0\x9F\x98\x80 x<y>z";
    const std::string other = "var s = 'second block';";
    const std::string page = "<script>" + BlockEncoder::Encode(script) +
                             "</script> #@~ plain ^#~@ " + BlockEncoder::Encode(other) + " tail";
    EXPECT_EQ(Decode(page), "<script>" + script + "</script> #@~ plain ^#~@ " + other + " tail");
}

TEST(ScriptDecoder, CopiesDoubleByteCharactersWhole) {
    // The trail bytes 0x40 and 0x61 look like '@' and 'a' but belong to their
    // lead bytes and must not be decoded.
    const std::string plain = "t=\"\x81\x40\xB0\x61\xD6\xD0\";";
    EXPECT_EQ(Decode(BlockEncoder::Encode(plain, true)), plain);
}

TEST(ScriptDecoder, LeavesMalformedBlocksAsTheyAre) {
    const std::string good = BlockEncoder::Encode("alert(1)");
    const std::vector<std::string> broken = {
        "#@~^",
        "x #@~^!!!!!!==abc^#~@",
        good.substr(0, good.size() - 4),                       // no end marker
        "#@~^" + BlockEncoder::Number(500) + good.substr(12),  // length beyond the input
        good.substr(0, good.size() - 12) + "^#~@",             // no checksum
        "#@~^" + BlockEncoder::Number(1) + "@&" + BlockEncoder::Number(0) + "^#~@",  // split escape
    };
    for (const std::string& text : broken) {
        SCOPED_TRACE(text);
        EXPECT_EQ(Decode(text), text);
    }
    EXPECT_EQ(Decode(broken[1] + good), broken[1] + "alert(1)");
}

TEST(ScriptDecoder, DecodesInPlaceAndToleratesNoInput) {
    const std::string plain = "if (a < b) { c = '@'; }\r\n";
    std::string text = "<%" + BlockEncoder::Encode(plain) + "%>";
    const int written =
        CEncoder::ScriptDecoder(text.data(), text.data(), static_cast<int>(text.size()));
    EXPECT_EQ(std::string(text.data(), static_cast<size_t>(written)), "<%" + plain + "%>");

    char out[1] = {'x'};
    EXPECT_EQ(CEncoder::ScriptDecoder(nullptr, out, 5), 0);
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(CEncoder::ScriptDecoder("abc", out, 0), 0);
    EXPECT_EQ(CEncoder::ScriptDecoder("abc", nullptr, 3), 0);
}

}  // namespace
