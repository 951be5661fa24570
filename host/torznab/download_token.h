// The opaque token of a download address (/dl/<token>): it names a catalogue
// row by its table and row id, or a site search result by its plug-in and
// Addr0. It never holds a path; a token that does not decode names nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace torznab {

struct CatalogueRowRef {
    std::string table;
    int64_t rowId = 0;

    friend bool operator==(const CatalogueRowRef&, const CatalogueRowRef&) = default;
};

struct SiteResultRef {
    int dllId = 0;
    std::string addr0;

    friend bool operator==(const SiteResultRef&, const SiteResultRef&) = default;
};

using DownloadRef = std::variant<CatalogueRowRef, SiteResultRef>;

// Lower-case hexadecimal of a tagged text, so the token is safe in a path
// segment and a query whatever the address holds.
std::string EncodeToken(const DownloadRef& ref);
// Nullopt for anything EncodeToken cannot have made.
std::optional<DownloadRef> DecodeToken(const std::string& token);

}  // namespace torznab
