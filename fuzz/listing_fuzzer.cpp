// The listing and search parsers of every site: a page cut into records with
// the site's row pattern, every row built into a TorrentRecord.
//
// Input: one byte choosing the parser (the live parsers of kSites in order,
// each site's listing page before its search page), then the page.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "crane/crane_site.h"
#include "egret/egret_site.h"
#include "finch/finch_site.h"
#include "heron/heron_site.h"
#include "ibis/ibis_site.h"
#include "kite/kite_site.h"
#include "lark/lark_site.h"
#include "listing_parser.h"
#include "osprey/osprey_site.h"
#include "petrel/petrel_site.h"
#include "plover/plover_site.h"
#include "robin/robin_site.h"
#include "site_context.h"
#include "stork/stork_site.h"
#include "swift/swift_site.h"
#include "tern/tern_site.h"
#include "text_codec.h"
#include "wren/wren_site.h"

namespace {

const SiteData* const kSites[] = {
    &crane::kSite, &egret::kSite, &finch::kSite,  &heron::kSite,  &ibis::kSite,
    &kite::kSite,  &lark::kSite,  &osprey::kSite, &petrel::kSite, &plover::kSite,
    &robin::kSite, &stork::kSite, &swift::kSite,  &tern::kSite,   &wren::kSite,
};

void Require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// The sites look for the first row in their first 30 to 150 KB, far beyond
// the pages the fuzzer writes; a short cut puts the cut and the byte put back
// after it within its reach.
constexpr size_t kCutLength = 1500;

SiteData WithShortCut(const SiteData& site) {
    SiteData shortCut = site;
    shortCut.cutLength = kCutLength;
    return shortCut;
}

// One parser as the page engine or the search task builds it.
struct SiteParser {
    SiteParser(const SiteData& data, bool search)
        : site(WithShortCut(data)),
          // No such folder: every [Site_...] setting keeps the site's default.
          context(site, PluginLocation{"/nonexistent/", std::string(site.tag) + ".so"}),
          fromSite(MakeFromSite(context.Charset())),
          pattern(search ? MakeToSite(context.Charset())->Convert(site.search.text)
                         : context.PagePattern()),
          parser(context, search ? site.search : site.page, pattern, *fromSite),
          tag("[" + std::string(site.tag) + "]"),
          type(search ? 0 : 3 * 256 + 1) {}

    SiteData site;
    SiteContext context;
    std::unique_ptr<TextConverter> fromSite;
    std::string pattern;
    ListingParser parser;
    std::string tag;
    int type;
};

std::vector<std::unique_ptr<SiteParser>> MakeParsers() {
    std::vector<std::unique_ptr<SiteParser>> parsers;
    for (const SiteData* site : kSites) {
        if (!site->inertPages) {
            parsers.push_back(std::make_unique<SiteParser>(*site, false));
        }
        if (site->searchRequest != SearchRequest::kInert) {
            parsers.push_back(std::make_unique<SiteParser>(*site, true));
        }
    }
    return parsers;
}

// Well-formed UTF-8 without zeros: the texts of a record go to the store and
// the list as they are.
bool IsCleanUtf8(std::string_view text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        size_t length = 1;
        if (lead == 0 || (lead >= 0x80 && lead < 0xC2) || lead > 0xF4) {
            return false;
        }
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC2) {
            length = 2;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

void CheckRecord(const SiteParser& parser, const TorrentRecord& record) {
    Require(record.Type == parser.type && record.bCompleted == 0);
    Require(record.RefreshDate == record.AddDate);
    Require(record.Name.empty() || record.Name.compare(0, parser.tag.size(), parser.tag) == 0);
    for (const std::string* text :
         {&record.Name, &record.Addr0, &record.Addr1, &record.Addr2, &record.Addr3, &record.WebAddr,
          &record.Size, &record.Comment}) {
        Require(IsCleanUtf8(*text));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<std::unique_ptr<SiteParser>> parsers = MakeParsers();
    if (size < 1) {
        return 0;
    }
    const SiteParser& parser = *parsers[data[0] % parsers.size()];
    std::vector<char> page(data + 1, data + size);
    page.push_back('\0');
    const std::vector<char> before = page;

    std::tm today{};
    today.tm_year = 2024 - 1900;
    today.tm_mon = 5;
    today.tm_mday = 15;
    size_t rows = 0;
    const bool compiled = parser.parser.ForEachRow(page.data(), size - 1, parser.type, today,
                                                   [&](TorrentRecord&& record) {
                                                       CheckRecord(parser, record);
                                                       ++rows;
                                                   });
    // Every site's pattern compiles; the page is left as it came; a row takes
    // at least one byte of the page.
    Require(compiled);
    Require(page == before);
    Require(rows <= size);
    return 0;
}
