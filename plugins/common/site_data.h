// The data that makes a plug-in one site's plug-in. Every behaviour lives in
// plugins/common; a site folder holds one constexpr SiteData and registers it
// (see plugin_entry.h).
//
// Texts here (templates, patterns) are written in UTF-8. They are converted
// to the site's charset on the way out; captured texts come back as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

// How a listing row's date is printed on the site. The routines without a
// year infer it from the current local date.
enum class DateRoutine : uint8_t {
    kMonthDayTime,             // month, day, hour, minute
    kMonthDay,                 // month, day
    kYearMonthDay,             // year, month, day
    kYearMonthDayTime,         // year, month, day, hour, minute
    kYearMonthDayTimeSeconds,  // year, month, day, hour, minute, second
    kUnixSeconds,              // one group: seconds since 1970-01-01 UTC
};

// Markup some sites leave inside the title; removed from Name after the tag
// is put in front.
enum class TitleCleanup : uint8_t {
    kNone,
    kFontTag,            // first <font ...> and every </font>
    kFontTagFirstClose,  // first <font ...> and only the first </font>
    kFontAndStrongTags,  // every <strong>, </strong>, </font> and <font ...>
    kSpanTag,            // first <span ...> with the tag after it, one closing span
};

enum class CommentCleanup : uint8_t {
    kNone,
    kEscapedScriptQuotes,  // the row comes from a script string: \" becomes "
    kBoardMarkup,          // line breaks become <br>, [img]...[/img] an <img> tag
};

// What one capture group of a row pattern fills. A group may fill several
// fields (a link that is both the detail page and the torrent page).
enum GroupField : uint16_t {
    kDate = 1u << 0,  // the next field of the date routine
    kTitle = 1u << 1,
    kAddr0 = 1u << 2,
    kWebAddr = 1u << 3,
    kSize = 1u << 4,
    kSizeInBytes = 1u << 5,  // a byte count, shortened to its unit ("1GB")
    kSeeds = 1u << 6,
    kPeers = 1u << 7,
    kComment = 1u << 8,
    // The two parts of a mirror download address (see SiteData::mirrorPath).
    kMirrorId = 1u << 9,
    kMirrorPath = 1u << 10,
    // The stored text is the site's base address followed by the group.
    kWithBase = 1u << 15,
};

// A row pattern (patmatch dialect) and how a match becomes a TorrentRecord.
struct RowPattern {
    std::string_view text = {};
    // One entry per capture group, in pattern order.
    std::span<const uint16_t> groups = {};
    DateRoutine date = DateRoutine::kMonthDayTime;
    // Titles are cut at kTitleCutBytes of site text before the tag goes in
    // front; a few sites print short titles and are not cut.
    bool cutTitle = true;
    TitleCleanup titleCleanup = TitleCleanup::kNone;
    CommentCleanup commentCleanup = CommentCleanup::kNone;
};

inline constexpr size_t kTitleCutBytes = 240;

// How a listing page is asked for.
enum class ListingRequest : uint8_t {
    // GET base + template: "%s" takes the section id, "%d" the page number.
    kPathTemplate,
    // GET base + template (+ section id) for page 1; later pages follow the
    // pager link found on page 1 of the section (pagerPattern, group 0).
    kPagerLink,
    // POST base + formPath with formBody: "%d" the page, "%s" the category
    // id, which is the slot's template itself for a one-section slot.
    kFormPost,
};

// The text WebIOCtl code 1 answers with.
enum class WebIoAnswer : uint8_t {
    kNone,     // no text; the caller's buffer is left untouched
    kComment,  // the record's Comment as it stands
    kFrame,    // an iframe showing the record's WebAddr
};

// How the .torrent file of a row is reached from its Addr0.
enum class TorrentFetch : uint8_t {
    // Addr0 is the file itself.
    kDirect,
    // Addr0..Addr3 hold the same file on four servers, tried in turn.
    kMirrors,
    // An answer that is not a torrent is a page holding the file's link:
    // group 0 of linkPattern, after the site's base address (a link that
    // begins with "http" is taken as it is).
    kLinkPage,
    // An answer that is not a torrent is a page with a form: linkPattern's
    // group 0 is the action (after the base address), group 1 the hidden
    // value posted in fetchBody's "%s".
    kFormPage,
    // Addr0 is a detail page; linkPattern's group 0 is the file link without
    // its trailing number, and the links numbered 1 and 2 are tried in turn.
    kNumberedLinks,
};

// The referer of the request that follows a link or form page.
enum class FollowReferer : uint8_t {
    kBase,     // the site's base address
    kWebAddr,  // the record's detail page
    kAddr0,    // the page the link or form was found on
};

// How the site's search is asked for. "%s" in searchPath or searchBody takes
// the keyword, every byte of it (in the site's charset) written as %XX.
enum class SearchRequest : uint8_t {
    // No working search: a search ends at once without rows.
    kInert,
    kGet,   // GET search base + searchPath
    kPost,  // POST search base + searchPath with searchBody
};

// One category slot the site serves. The template is either one text, or a
// base text followed by the ids of the site sections merged into the slot,
// each after a "|": "forumdisplay.php?fid=%s&page=%d|269|266".
struct SlotEntry {
    int group;
    int index;
    std::string_view listing;
};

struct SiteData {
    std::string_view tag = {};             // "wren": Name starts with "[wren]"
    std::string_view defaultBase = {};     // ends in "/"; [Site_...] Base overrides
    std::string_view defaultCharset = {};  // iconv name; [Site_...] Charset overrides
    std::span<const SlotEntry> slots = {};
    ListingRequest request = ListingRequest::kPathTemplate;
    std::string_view formPath = {};      // kFormPost only
    std::string_view formBody = {};      // kFormPost only
    std::string_view pagerPattern = {};  // kPagerLink only
    int pageLimit = 8;                   // pages per section at most
    // The first row is searched for only in this many bytes of a page, so a
    // page without rows is not scanned to its end.
    size_t cutLength = 30000;
    // The site may hold the connection open after the page: a page whose
    // last bytes hold "</html>" counts as complete.
    bool tailCheckPages = false;
    bool tailCheckSearch = false;
    RowPattern page = {};
    RowPattern search = {};
    WebIoAnswer webIo = WebIoAnswer::kNone;
    // Longest group text kept, terminator included.
    int groupBufferBytes = 1024;

    // Listing pages are never fetched: a page run ends at once without rows.
    bool inertPages = false;

    // Site search.
    SearchRequest searchRequest = SearchRequest::kInert;
    std::string_view searchPath = {};  // after the search base
    std::string_view searchBody = {};  // kPost only
    // The search base is a separate service ([Site_...] Search, else
    // defaultSearchBase) instead of the site's base address.
    bool searchOnService = false;
    std::string_view defaultSearchBase = {};
    // The search request carries its own address as referer instead of the
    // site's base address.
    bool searchRefererIsAddress = false;

    // Torrent-file fetch.
    TorrentFetch fetch = TorrentFetch::kDirect;
    // kLinkPage, kFormPage, kNumberedLinks. "%b" stands for the site's base
    // address without its closing "/", matched literally: absolute links of
    // the site are found wherever [Site_...] Base says the site lives.
    std::string_view linkPattern = {};
    std::string_view fetchBody = {};  // kFormPage: "%s" takes the form's value
    FollowReferer followReferer = FollowReferer::kBase;
    // A fetch that has not brought StallWatch::kProgressBytes for longer than
    // this has stalled.
    int fetchStallSeconds = 30;
    // kMirrors: the download servers ([Site_...] Mirror0..Mirror3, else these
    // defaults) and the path after each, "%s" taking the kMirrorPath group and
    // then the kMirrorId group of a row.
    std::string_view defaultMirrors[4] = {};
    std::string_view mirrorPath = {};
};

// The slot table value: 0 for a slot the site does not serve, otherwise the
// number of site sections merged into it.
int SlotSections(const SiteData& site, int group, int index);
// The slot's listing template; empty for a slot the site does not serve.
std::string_view SlotTemplate(const SiteData& site, int group, int index);
