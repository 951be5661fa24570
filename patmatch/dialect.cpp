#include "dialect.h"

#include <cstddef>
#include <cstdint>

namespace patmatch {
namespace {

bool IsQuantifier(char c) {
    return c == '*' || c == '+' || c == '?';
}

bool IsAsciiAlnum(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

bool IsUtf8Continuation(unsigned char c) {
    return c >= 0x80 && c <= 0xBF;
}

// Deeper nesting than any site pattern needs; the bound keeps a hostile
// pattern from exhausting the stack of the recursive translation.
constexpr int kMaxNesting = 200;

class Translator {
  public:
    Translator(std::string_view pattern, PatternCharset charset)
        : src_(pattern), charset_(charset) {}

    std::optional<std::string> Run() {
        std::string out;
        out.reserve(src_.size() * 2);
        if (!Sequence(out, '\0') || pos_ != src_.size()) {
            return std::nullopt;
        }
        return out;
    }

  private:
    bool AtEnd() const { return pos_ >= src_.size(); }
    char Peek() const { return AtEnd() ? '\0' : src_[pos_]; }
    unsigned char ByteAt(size_t i) const { return static_cast<unsigned char>(src_[i]); }

    // Translates terms until `close` (left unconsumed), or to the end of the
    // pattern when `close` is '\0'.
    bool Sequence(std::string& out, char close) {
        while (!AtEnd()) {
            const char c = Peek();
            if (c == '}' || c == ')') {
                return c == close;
            }
            std::string term;
            bool group = false;
            if (!Term(term, group)) {
                return false;
            }
            // A '|' after a group alternates that group with the next term
            // only, so "(even)|(odd)" inside a longer pattern stays local.
            if (group && Peek() == '|') {
                std::string alternation = "(?:" + term;
                while (group && Peek() == '|') {
                    ++pos_;
                    if (AtEnd() || Peek() == '}' || Peek() == ')') {
                        return false;
                    }
                    alternation += '|';
                    if (!Term(alternation, group)) {
                        return false;
                    }
                }
                term = alternation + ')';
            }
            out += term;
        }
        return close == '\0';
    }

    // One atom and the quantifier that may follow it.
    bool Term(std::string& out, bool& group) {
        if (!Atom(out, group)) {
            return false;
        }
        if (IsQuantifier(Peek())) {
            out += src_[pos_++];
            if (Peek() == '?') {
                out += src_[pos_++];
            }
            // PCRE2 would read a second quantifier as possessive; the dialect
            // has no such thing.
            if (IsQuantifier(Peek())) {
                return false;
            }
        }
        return true;
    }

    bool Atom(std::string& out, bool& group) {
        group = false;
        switch (Peek()) {
            case '{':
                group = true;
                return Group(out, "(", '}');
            case '(':
                group = true;
                return Group(out, "(?:", ')');
            case '\\':
                return Escape(out);
            case '.':
                ++pos_;
                out += '.';
                return true;
            case '*':
            case '+':
            case '?':
                return false;
            default:
                Literal(out);
                return true;
        }
    }

    bool Group(std::string& out, const char* open, char close) {
        if (++depth_ > kMaxNesting) {
            return false;
        }
        ++pos_;
        out += open;
        if (!Sequence(out, close)) {
            return false;
        }
        ++pos_;
        out += ')';
        --depth_;
        return true;
    }

    bool Escape(std::string& out) {
        ++pos_;
        if (AtEnd()) {
            return false;
        }
        switch (Peek()) {
            case 'd':
                out += "[0-9]";
                break;
            case 'h':
                out += "[0-9A-Fa-f]";
                break;
            case 'b':
                out += "[ \\t]";
                break;
            case 'n':
                out += "\\n";
                break;
            default:
                // Any other letter or digit would be a guess at a meaning the
                // dialect does not give; punctuation is taken literally.
                if (IsAsciiAlnum(ByteAt(pos_))) {
                    return false;
                }
                Literal(out);
                return true;
        }
        ++pos_;
        return true;
    }

    // Bytes of the character starting at pos_: a multibyte character is one
    // literal, whatever syntax characters its trailing bytes resemble.
    size_t CharLength() const {
        const unsigned char lead = ByteAt(pos_);
        const size_t left = src_.size() - pos_;
        switch (charset_) {
            case PatternCharset::Gbk:
                if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
                    const unsigned char trail = ByteAt(pos_ + 1);
                    if (trail >= 0x40 && trail <= 0xFE && trail != 0x7F) {
                        return 2;
                    }
                }
                return 1;
            case PatternCharset::Utf8: {
                size_t length = 1;
                if (lead >= 0xC2 && lead <= 0xDF) {
                    length = 2;
                } else if (lead >= 0xE0 && lead <= 0xEF) {
                    length = 3;
                } else if (lead >= 0xF0 && lead <= 0xF4) {
                    length = 4;
                }
                if (length > left) {
                    return 1;
                }
                for (size_t i = 1; i < length; ++i) {
                    if (!IsUtf8Continuation(ByteAt(pos_ + i))) {
                        return 1;
                    }
                }
                return length;
            }
            case PatternCharset::Bytes:
                break;
        }
        return 1;
    }

    void Literal(std::string& out) {
        const size_t length = CharLength();
        if (length > 1) {
            out += "(?:";
        }
        for (size_t i = 0; i < length; ++i) {
            AppendByte(out, ByteAt(pos_ + i));
        }
        if (length > 1) {
            out += ')';
        }
        pos_ += length;
    }

    // Everything but letters and digits goes out as \xHH, so no byte of the
    // site's markup can take on a PCRE2 meaning.
    static void AppendByte(std::string& out, unsigned char byte) {
        if (IsAsciiAlnum(byte)) {
            out += static_cast<char>(byte);
            return;
        }
        static constexpr char kHex[] = "0123456789abcdef";
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }

    std::string_view src_;
    PatternCharset charset_;
    size_t pos_ = 0;
    int depth_ = 0;
};

}  // namespace

std::optional<std::string> TranslatePattern(std::string_view pattern, PatternCharset charset) {
    return Translator(pattern, charset).Run();
}

}  // namespace patmatch
