// The indexer API's request checking: a query string as it arrives in the
// address, decoded the way the HTTP layer decodes it. Whatever it holds, an
// accepted request stays within the limits the catalogue reads rely on, and
// a download token decodes only to what encodes back to it.
#include <httplib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <variant>

#include "api_request.h"
#include "download_token.h"
#include "item_fields.h"

namespace {

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void CheckQuery(const torznab::ApiQuery& query) {
    Require(query.limit >= 1 && query.limit <= torznab::kMaxLimit);
    Require(query.offset >= 0 && query.offset <= torznab::kMaxOffset);
    Require(query.categories.size() <= torznab::kMaxCategoryCount);
    if (query.keyword) {
        Require(query.keyword->size() <= torznab::kMaxKeywordBytes);
        Require(torznab::IsValidUtf8(*query.keyword));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    httplib::Params params;
    httplib::detail::parse_query_text(text, params);
    const torznab::Params checked(params.begin(), params.end());

    const auto parsed = torznab::ParseApiRequest(checked, "fuzzkey");
    if (const auto* query = std::get_if<torznab::ApiQuery>(&parsed)) {
        Require(torznab::FirstValue(checked, "apikey") == "fuzzkey");
        CheckQuery(*query);
    }
    Require(torznab::IsValidUtf8(torznab::XmlSafeText(text)));

    if (const auto token = torznab::FirstValue(checked, "token")) {
        if (const auto ref = torznab::DecodeToken(*token)) {
            Require(torznab::DecodeToken(torznab::EncodeToken(*ref)) == ref);
        }
    }
    if (const auto size = torznab::FirstValue(checked, "size")) {
        const auto bytes = torznab::ParseSizeText(*size);
        Require(!bytes || *bytes >= 0);
    }
    return 0;
}
