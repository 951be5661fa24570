#include "text_codec.h"

#include <algorithm>
#include <cerrno>

namespace {

bool IsAscii(std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

TextConverter::TextConverter(const char* to, const char* from, std::string_view replacement)
    : replacement_(replacement) {
    iconv_t handle = iconv_open(to, from);
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        return;
    }
    handle_.reset(handle);
    std::string probe;
    for (int c = 1; c < 0x80; ++c) {
        probe.push_back(static_cast<char>(c));
    }
    asciiCompatible_ = false;
    std::string converted;
    Append(probe, converted);
    asciiCompatible_ = converted == probe;
}

void TextConverter::Append(std::string_view in, std::string& out) {
    if (asciiCompatible_ && IsAscii(in)) {
        out.append(in);
        return;
    }
    if (!handle_) {
        out.append(in);
        return;
    }
    iconv_t cd = static_cast<iconv_t>(handle_.get());
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char* source = const_cast<char*>(in.data());
    size_t sourceLeft = in.size();
    const size_t start = out.size();
    // GBK and UTF-8 rarely grow more than half again; the loop grows further.
    size_t used = start;
    out.resize(start + in.size() * 2 + 16);
    while (sourceLeft > 0) {
        char* target = out.data() + used;
        size_t targetLeft = out.size() - used;
        const size_t result = iconv(cd, &source, &sourceLeft, &target, &targetLeft);
        used = out.size() - targetLeft;
        if (result != static_cast<size_t>(-1)) {
            break;
        }
        if (errno == E2BIG) {
            out.resize(out.size() * 2);
        } else if (errno == EILSEQ) {
            if (out.size() - used < replacement_.size()) {
                out.resize(out.size() + replacement_.size() + 16);
            }
            out.replace(used, replacement_.size(), replacement_);
            used += replacement_.size();
            ++source;
            --sourceLeft;
        } else {
            // EINVAL: the input ends inside a character.
            break;
        }
    }
    out.resize(used);
}
