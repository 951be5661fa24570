#include "bench_sites.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "crane/crane_site.h"
#include "egret/egret_site.h"
#include "finch/finch_site.h"
#include "gbk_text.h"
#include "heron/heron_site.h"
#include "ibis/ibis_site.h"
#include "kite/kite_site.h"
#include "lark/lark_site.h"
#include "osprey/osprey_site.h"
#include "petrel/petrel_site.h"
#include "plover/plover_site.h"
#include "plugins/wren_pages.h"
#include "robin/robin_site.h"
#include "sites/crane_pages.h"
#include "sites/egret_pages.h"
#include "sites/finch_pages.h"
#include "sites/ibis_pages.h"
#include "sites/kite_pages.h"
#include "sites/lark_pages.h"
#include "sites/osprey_pages.h"
#include "sites/petrel_pages.h"
#include "sites/plover_pages.h"
#include "sites/robin_pages.h"
#include "sites/stork_pages.h"
#include "sites/swift_pages.h"
#include "sites/tern_pages.h"
#include "stork/stork_site.h"
#include "swift/swift_site.h"
#include "tern/tern_site.h"
#include "wren/wren_site.h"

namespace refresh_bench {
namespace {

struct Row {
    std::string title;  // UTF-8
    time_t when = 0;
    int id = 0;
};

// What a page is written from besides its rows.
struct PageSpec {
    std::string base;    // the site's base address, ending in "/"
    std::string target;  // the request's path with query, UTF-8
    int lastPage = 0;    // the last page that has rows
};

using PageMaker = std::string (*)(const PageSpec&, const std::vector<Row>&);

struct LocalTime {
    int year, month, day, hour, minute, second;
};

LocalTime Local(time_t when) {
    std::tm t{};
    localtime_r(&when, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

std::string Ymd(const LocalTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string Hm(const LocalTime& t) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", t.hour, t.minute);
    return text;
}

// Board and class ids travel in the request; the pages repeat them.
int NumberAfter(const std::string& text, const char* key) {
    const size_t at = text.find(key);
    return at == std::string::npos ? 0
                                   : std::atoi(text.c_str() + at + std::string_view(key).size());
}

// A text that carries the row's id: a link, a hash, a description.
std::string WithId(std::string_view head, const Row& row, std::string_view tail = "") {
    std::string text(head);
    text += std::to_string(row.id);
    text += tail;
    return text;
}

const char kSize[] = "700MB";
const char kWord[] = "电影";

std::string WrenPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<wren_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .title = row.title,
                       .comment = "bench",
                       .seeds = row.id % 50,
                       .peers = row.id % 7,
                       .id = row.id});
    }
    return wren_pages::Page(spec.base, out);
}

std::string FinchPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<finch_pages::Row> out;
    for (const Row& row : rows) {
        out.push_back({.date = Ymd(Local(row.when)),
                       .link = spec.base + WithId("down.php?id=", row),
                       .title = row.title,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7});
    }
    return finch_pages::Page(out);
}

std::string LarkPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<lark_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.link = WithId("show/show.asp?id=", row),
                       .title = row.title,
                       .month = t.month,
                       .day = t.day,
                       .size = kSize});
    }
    return lark_pages::Page(out);
}

std::string RobinPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<robin_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .title = row.title,
                       .seeds = row.id % 50,
                       .peers = row.id % 7,
                       .id = row.id});
    }
    const int page = NumberAfter(spec.target, "&Page=");
    return robin_pages::Page(NumberAfter(spec.target, "ClassID="), out, page == 0 ? 1 : page,
                             spec.lastPage);
}

std::string EgretPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<egret_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .title = row.title,
                       .description = WithId("bench \"", row, "\""),
                       .seeds = row.id % 50,
                       .peers = row.id % 7,
                       .id = row.id});
    }
    return egret_pages::Page(kWord, out);
}

std::string SwiftPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<swift_pages::Row> out;
    for (const Row& row : rows) {
        out.push_back({.when = row.when,
                       .link = WithId("download.php?id=", row),
                       .title = row.title,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7});
    }
    return swift_pages::Page(kWord, out);
}

std::string PloverPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<plover_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.date = Ymd(t) + " " + Hm(t),
                       .id = row.id,
                       .torrent = spec.base + WithId("down/", row, ".torrent"),
                       .title = row.title,
                       .size = kSize});
    }
    return plover_pages::Page(kWord, out);
}

std::string CranePage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<crane_pages::Thread> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.year = t.year,
                       .month = t.month,
                       .day = t.day,
                       .title = row.title,
                       .style = "",
                       .attachment = true,
                       .id = row.id});
    }
    return crane_pages::Page(NumberAfter(spec.target, "fid="), out);
}

std::string PetrelPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<petrel_pages::Row> out;
    for (const Row& row : rows) {
        out.push_back({.when = row.when,
                       .hash = WithId("h", row),
                       .title = row.title,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7});
    }
    return petrel_pages::Page(out);
}

std::string IbisPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<ibis_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .title = row.title,
                       .color = "",
                       .icons = 0,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7,
                       .id = row.id});
    }
    return ibis_pages::Page(NumberAfter(spec.target, "fid="), out);
}

std::string KitePage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<kite_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .title = row.title,
                       .color = "",
                       .description = WithId("bench ", row),
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7,
                       .id = row.id});
    }
    return kite_pages::Page(out);
}

std::string OspreyPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<osprey_pages::Row> out;
    for (const Row& row : rows) {
        out.push_back({.link = WithId("html/", row, ".htm"),
                       .title = row.title,
                       .date = Ymd(Local(row.when)),
                       .size = ""});
    }
    return osprey_pages::ListingPage(out);
}

std::string TernPage(const PageSpec&, const std::vector<Row>& rows) {
    std::vector<tern_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        char clock[16];
        std::snprintf(clock, sizeof clock, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        out.push_back({.date = Ymd(t) + " " + clock,
                       .link = WithId("download.php?id=", row),
                       .title = row.title,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7});
    }
    return tern_pages::Page(kWord, out);
}

std::string StorkPage(const PageSpec& spec, const std::vector<Row>& rows) {
    std::vector<stork_pages::Row> out;
    for (const Row& row : rows) {
        const LocalTime t = Local(row.when);
        out.push_back({.year = t.year,
                       .month = t.month,
                       .day = t.day,
                       .hour = t.hour,
                       .minute = t.minute,
                       .link = spec.base + WithId("download.php?id=", row),
                       .title = row.title,
                       .size = kSize,
                       .seeds = row.id % 50,
                       .peers = row.id % 7});
    }
    return stork_pages::Page(kWord, out);
}

struct BenchSite {
    const char* registryName;  // the plug-in's path below kernel/
    const char* path;          // where the site lives on the server
    const SiteData& data;
    PageMaker makePage;  // nullptr: the plug-in's page runs fetch nothing
};

const BenchSite kSites[] = {
    {"heron.so", "heron", heron::kSite, nullptr},
    {"wren.so", "wren", wren::kSite, WrenPage},
    {"finch.so", "finch", finch::kSite, FinchPage},
    {"larkspur.so", "lark", lark::kSite, LarkPage},
    {"robin.so", "robin", robin::kSite, RobinPage},
    {"egret.so", "egret", egret::kSite, EgretPage},
    {"swift.so", "swift", swift::kSite, SwiftPage},
    {"plover.so", "plover", plover::kSite, PloverPage},
    {"crane.so", "crane", crane::kSite, CranePage},
    {"petrel/larkspur.so", "petrel", petrel::kSite, PetrelPage},
    {"ibis.so", "ibis", ibis::kSite, IbisPage},
    {"kite.so", "kite", kite::kSite, KitePage},
    {"yarrow.so", "osprey", osprey::kSite, OspreyPage},
    {"tern.so", "tern", tern::kSite, TernPage},
    {"stork.so", "stork", stork::kSite, StorkPage},
};

// "%d" takes the page, "%s" the section id, "%%" is one percent sign.
std::string Fill(std::string_view text, std::string_view id, int page) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (text[i] == '%' && (next == '%' || next == 'd' || next == 's')) {
            out += next == 'd' ? std::to_string(page) : next == 's' ? std::string(id) : "%";
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

// A slot template is one request text, or a head followed by the ids of the
// site sections merged into the slot: "forumdisplay.php?fid=%s&page=%d|269|266".
struct SlotSections {
    std::string_view head;
    std::vector<std::string_view> ids;  // empty for a one-section slot
};

SlotSections Split(std::string_view slotTemplate) {
    SlotSections sections;
    size_t bar = slotTemplate.find('|');
    sections.head = slotTemplate.substr(0, bar);
    while (bar != std::string_view::npos) {
        const size_t next = slotTemplate.find('|', bar + 1);
        sections.ids.push_back(slotTemplate.substr(bar + 1, next - bar - 1));
        bar = next;
    }
    return sections;
}

// The request of one page, with the target still in UTF-8. `firstTarget` is
// the section's page 1, whose pager link leads to the later pages.
PageRequest PageRequestFor(const BenchSite& site, const SlotSections& slot, std::string_view id,
                           int page, const std::string& firstTarget) {
    std::string root = "/";
    root += site.path;
    root += '/';
    switch (site.data.request) {
        case ListingRequest::kPathTemplate:
            return {"GET", root + Fill(slot.head, id, page), ""};
        case ListingRequest::kPagerLink:
            if (page == 1) {
                return {"GET", root + std::string(slot.head) + std::string(id), ""};
            }
            return {"GET",
                    root + robin_pages::PagerPrefix(NumberAfter(firstTarget, "ClassID=")) +
                        std::to_string(page),
                    ""};
        case ListingRequest::kFormPost:
            return {"POST", root + std::string(site.data.formPath),
                    Fill(site.data.formBody, slot.ids.empty() ? slot.head : id, page)};
    }
    return {};
}

}  // namespace

std::string RequestKey(const std::string& method, const std::string& target,
                       const std::string& body) {
    return method + " " + target + "\n" + body;
}

ServedCatalogue BuildCatalogue(const std::string& serverUrl, time_t now, CatalogueShape shape) {
    ServedCatalogue catalogue;
    int nextId = 1000;
    for (const BenchSite& site : kSites) {
        const std::string base = serverUrl + "/" + site.path + "/";
        catalogue.bases.emplace_back(site.registryName, base);
        if (site.makePage == nullptr) {
            continue;
        }
        std::string tag = "[";
        tag += site.data.tag;
        tag += ']';
        for (const SlotEntry& slot : site.data.slots) {
            const SlotSections sections = Split(slot.listing);
            const size_t count = sections.ids.empty() ? 1 : sections.ids.size();
            int sequence = 0;  // rows of the slot so far: the dates go back with it
            for (size_t k = 0; k < count; ++k) {
                const std::string_view id = sections.ids.empty() ? "" : sections.ids[k];
                std::string firstTarget;
                ++catalogue.sections;
                // The page after the last one with rows is served empty: that
                // is where a page run of the section ends.
                for (int page = 1; page <= shape.pagesPerSection + 1; ++page) {
                    PageRequest request = PageRequestFor(site, sections, id, page, firstTarget);
                    if (page == 1) {
                        firstTarget = request.target;
                    }
                    ServedPage served;
                    served.group = slot.group;
                    served.index = slot.index;
                    std::vector<Row> rows;
                    for (int r = 0; page <= shape.pagesPerSection && r < shape.rowsPerPage; ++r) {
                        char title[96];
                        std::snprintf(title, sizeof title, "测试 %s g%di%d s%zu p%d r%02d",
                                      std::string(site.data.tag).c_str(), slot.group, slot.index,
                                      k + 1, page, r);
                        rows.push_back({title, now - 7 * 60 * ++sequence, nextId++});
                        served.names.push_back(tag + title);
                    }
                    served.content =
                        site.makePage({base, request.target, shape.pagesPerSection}, rows);
                    // Templates are written in UTF-8; the plug-ins send them in
                    // the site's charset.
                    served.request = {request.method, testing_support::Gbk(request.target),
                                      testing_support::Gbk(request.body)};
                    catalogue.pages.push_back(std::move(served));
                }
            }
        }
    }
    return catalogue;
}

}  // namespace refresh_bench
