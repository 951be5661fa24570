// The pattern library: a pattern in the site dialect and a text, matched to
// the end with every group read.
//
// Input: one byte choosing the charset, the pattern, a zero, the text.
#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "dialect.h"
#include "patmatch.h"

namespace {

constexpr PatternCharset kCharsets[] = {PatternCharset::Gbk, PatternCharset::Utf8,
                                        PatternCharset::Bytes};
// The listing parser reads groups into 1024 bytes; the others catch cuts at
// the buffer's edge.
constexpr int kBufferSizes[] = {1, 2, 7, 1024};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// True when the translation the dialect accepted fails to compile for a
// reason other than the sizes PCRE2 bounds (nesting, pattern length).
bool CompileRefused(const std::string& source) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(source.data()), source.size(),
                      PCRE2_DOTALL | PCRE2_NEVER_UTF | PCRE2_NEVER_UCP, &error, &offset, nullptr);
    if (code != nullptr) {
        pcre2_code_free(code);
        return false;
    }
    return error != PCRE2_ERROR_PARENTHESES_NEST_TOO_DEEP &&
           error != PCRE2_ERROR_PATTERN_TOO_LARGE && error != PCRE2_ERROR_HEAP_FAILED;
}

// Every group the pattern can hold, and numbers beside them, into buffers of
// every size: a group never overruns its buffer and is a piece of the text.
void ReadGroups(IParse& parse, int groups, std::string_view text) {
    char buffer[1024];
    for (int number = -1; number <= groups + 1; ++number) {
        for (const int size : kBufferSizes) {
            std::memset(buffer, 'U', sizeof buffer);
            const int length = parse.GetGroup(number, buffer, size);
            Require(length >= 0 && length < size);
            Require(buffer[length] == '\0' && std::strlen(buffer) == static_cast<size_t>(length));
            Require(text.find(std::string_view(buffer, static_cast<size_t>(length))) !=
                    std::string_view::npos);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) {
        return 0;
    }
    const PatternCharset charset = kCharsets[data[0] % std::size(kCharsets)];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    const size_t zero = rest.find('\0');
    if (zero == std::string_view::npos) {
        return 0;
    }
    const std::string pattern(rest.substr(0, zero));
    // Only the text up to its first zero is matched.
    const std::string text(rest.substr(zero + 1));
    const std::string_view matched(text.c_str());

    int groups = 0;
    for (const char c : pattern) {
        groups += c == '{' ? 1 : 0;
    }

    IParse* parse = CreateParse();
    Require(parse != nullptr);
    parse->SetCharset(charset);
    const bool compiled = parse->Parse(pattern.c_str(), text.c_str()) != 0;
    const auto translated = patmatch::TranslatePattern(pattern, charset);
    Require(!compiled || translated.has_value());
    Require(compiled || !translated || !CompileRefused(*translated));

    // The search moves on: an empty match is followed by one that takes at
    // least a byte, so a text holds at most two matches per byte and one at
    // its end.
    size_t matches = 0;
    while (parse->FindNext() != 0) {
        Require(compiled && ++matches <= 2 * matched.size() + 1);
        ReadGroups(*parse, groups, matched);
    }
    // After the last match the groups are empty.
    ReadGroups(*parse, groups, std::string_view());
    DeleteParse(parse);
    return 0;
}
