// The unescaping of %XX and %uXXXX escapes in script strings.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "netfetch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string plain = CEscaper::unescape(text);
    // Every escape is longer than what it stands for, and a text without
    // escapes stays as it is.
    if (plain.size() > text.size() || (text.find('%') == std::string::npos && plain != text)) {
        std::abort();
    }
    return 0;
}
