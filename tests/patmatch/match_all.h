// Test helpers: run a pattern over a text through the library's public
// entry points; GBK text is written from readable UTF-8.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gbk_text.h"
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

using testing_support::Gbk;
