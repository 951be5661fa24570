// Test helpers: run a pattern over a text through the library's public
// entry points, and write GBK text from readable UTF-8.
#pragma once

#include <gtest/gtest.h>
#include <iconv.h>

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "patmatch.h"

struct ParserDeleter {
    void operator()(IParse* parser) const { DeleteParse(parser); }
};
using ParserPtr = std::unique_ptr<IParse, ParserDeleter>;

using Rows = std::vector<std::vector<std::string>>;

// Every match of `pattern` in `text`, each as its first `groups` groups;
// nothing when Parse refuses the pattern.
inline std::optional<Rows> MatchAll(const std::string& pattern, const std::string& text, int groups,
                                    PatternCharset charset = PatternCharset::Gbk) {
    ParserPtr parser(CreateParse());
    parser->SetCharset(charset);
    if (!parser->Parse(pattern.c_str(), text.c_str())) {
        return std::nullopt;
    }
    Rows rows;
    char buffer[1024];
    while (parser->FindNext()) {
        if (rows.size() > text.size()) {
            ADD_FAILURE() << "the search does not advance: more matches than bytes";
            break;
        }
        std::vector<std::string>& row = rows.emplace_back();
        for (int g = 0; g < groups; ++g) {
            row.emplace_back(buffer, parser->GetGroup(g, buffer, sizeof buffer));
        }
    }
    return rows;
}

inline std::string Gbk(std::string_view utf8) {
    const iconv_t handle = iconv_open("GBK", "UTF-8");
    if (handle == reinterpret_cast<iconv_t>(-1)) {
        throw std::runtime_error("iconv cannot convert UTF-8 to GBK");
    }
    std::unique_ptr<void, int (*)(iconv_t)> cd(handle, iconv_close);
    std::string in(utf8), out(utf8.size() * 2, '\0');
    char* src = in.data();
    char* dst = out.data();
    size_t src_left = in.size(), dst_left = out.size();
    if (iconv(cd.get(), &src, &src_left, &dst, &dst_left) == static_cast<size_t>(-1)) {
        throw std::runtime_error("text has no GBK form: " + in);
    }
    out.resize(out.size() - dst_left);
    return out;
}
