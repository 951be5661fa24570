// The texts an indexer item is made of: sizes in bytes from the sites' size
// texts, dates in the form RSS readers expect, and text that is safe to put
// in an XML document.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ole_date.h"

namespace torznab {

// Bytes of a size as the sites print it: a number with an optional decimal
// part and thousands commas, then an optional unit (B, K, KB, KiB, M, MB,
// MiB, G, GB, GiB, T, TB, TiB, any case, blanks allowed between). Units count
// in powers of 1024, as the sites mean them. Nullopt for anything else.
std::optional<int64_t> ParseSizeText(std::string_view text);

// "Tue, 03 Jun 2008 11:05:30 +0800": the local time with the local offset at
// that time. Empty for an invalid date.
std::string FormatRfc822(const OleDate& date);

bool IsValidUtf8(std::string_view text);

// The text with every byte that starts no valid UTF-8 sequence replaced by
// U+FFFD and every character XML 1.0 forbids removed.
std::string XmlSafeText(std::string_view text);

}  // namespace torznab
