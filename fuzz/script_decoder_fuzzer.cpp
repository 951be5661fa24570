// The decoder of encoded script blocks.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "netfetch.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > INT_MAX - 1) {
        return 0;
    }
    const int length = static_cast<int>(size);
    // Exactly what the decoder may write: length bytes and the terminator.
    std::vector<char> out(size + 1);
    const int written =
        CEncoder::ScriptDecoder(reinterpret_cast<const char*>(data), out.data(), length);
    Require(written >= 0 && written <= length && out[static_cast<size_t>(written)] == '\0');
    // Decoding in place gives the same text.
    std::vector<char> inPlace(data, data + size);
    inPlace.push_back('\0');
    const int writtenInPlace = CEncoder::ScriptDecoder(inPlace.data(), inPlace.data(), length);
    Require(writtenInPlace == written &&
            std::memcmp(inPlace.data(), out.data(), static_cast<size_t>(written) + 1) == 0);
    // Text without a block start is copied unchanged.
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (text.find("#@~^") == std::string_view::npos) {
        Require(written == length && std::memcmp(out.data(), data, size) == 0);
    }
    return 0;
}
