// Ownership of a patmatch matcher.
#pragma once

#include <memory>

#include "patmatch.h"

struct ParseDeleter {
    void operator()(IParse* parse) const { DeleteParse(parse); }
};
using ParsePtr = std::unique_ptr<IParse, ParseDeleter>;

inline ParsePtr MakeParse(PatternCharset charset) {
    ParsePtr parse(CreateParse());
    if (parse) {
        parse->SetCharset(charset);
    }
    return parse;
}
