// Translation of the site pattern dialect (see patmatch.h) into PCRE2 syntax.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "patmatch.h"

namespace patmatch {

// Answers the PCRE2 source for `pattern`, to be compiled with PCRE2_DOTALL and
// without UTF mode, or nothing when the pattern is malformed (unbalanced
// braces or parentheses, a quantifier with nothing to repeat, an escape the
// dialect does not define). Capture group n of the dialect is PCRE2 group n+1.
std::optional<std::string> TranslatePattern(std::string_view pattern, PatternCharset charset);

}  // namespace patmatch
