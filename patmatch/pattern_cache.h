// The process-wide store of compiled patterns, shared by every matcher of
// every plug-in: each distinct (pattern, charset) is translated and compiled
// once, JIT included.
#pragma once

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include <cstdint>
#include <memory>
#include <string_view>

#include "patmatch.h"

namespace patmatch {

struct CodeDeleter {
    void operator()(pcre2_code* code) const { pcre2_code_free(code); }
};
using CodePtr = std::unique_ptr<pcre2_code, CodeDeleter>;

struct CompiledPattern {
    CodePtr code;
    uint32_t capture_count = 0;
};

// Answers the compiled pattern, or null when it does not compile. Safe to
// call from any thread; the result stays valid for as long as it is held.
std::shared_ptr<const CompiledPattern> GetCompiledPattern(std::string_view pattern,
                                                          PatternCharset charset);

}  // namespace patmatch
