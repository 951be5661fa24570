#include "listing_parser.h"

#include <algorithm>
#include <array>
#include <limits>
#include <memory>
#include <vector>

#include "parse_handle.h"
#include "patmatch.h"

namespace {

constexpr int kMaxDateFields = 6;

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    size_t position = 0;
    while ((position = text.find(from, position)) != std::string::npos) {
        text.replace(position, from.size(), to);
        position += to.size();
    }
}

bool EraseFirst(std::string& text, std::string_view what) {
    const size_t position = text.find(what);
    if (position == std::string::npos) {
        return false;
    }
    text.erase(position, what.size());
    return true;
}

void CleanFontTag(std::string& name, bool onlyFirstClose) {
    const size_t open = name.find("<font");
    if (open == std::string::npos) {
        return;
    }
    const size_t close = name.find('>', open);
    if (close != std::string::npos) {
        name.erase(open, close - open + 1);
    }
    if (onlyFirstClose) {
        EraseFirst(name, "</font>");
    } else {
        ReplaceAll(name, "</font>", "");
    }
}

void CleanFontAndStrongTags(std::string& name) {
    ReplaceAll(name, "<strong>", "");
    ReplaceAll(name, "</strong>", "");
    ReplaceAll(name, "</font>", "");
    for (;;) {
        const size_t open = name.find("<font");
        if (open == std::string::npos) {
            return;
        }
        const size_t close = name.find('>', open);
        if (close == std::string::npos) {
            return;
        }
        name.erase(open, close - open + 1);
    }
}

void CleanSpanTag(std::string& name) {
    const size_t open = name.find("<span");
    if (open == std::string::npos) {
        return;
    }
    const size_t first = name.find('>', open);
    if (first == std::string::npos) {
        return;
    }
    // The span's opening tag and the tag right after it go.
    const size_t second = name.find('>', first + 1);
    const size_t end = second != std::string::npos ? second : first;
    name.erase(open, end - open + 1);
    if (!EraseFirst(name, "</span></span>")) {
        EraseFirst(name, "</span>");
    }
}

// A group's text, cut by patmatch to the buffer.
std::string_view Group(IParse& parse, int number, std::vector<char>& buffer) {
    const int length = parse.GetGroup(number, buffer.data(), static_cast<int>(buffer.size()));
    return std::string_view(buffer.data(), static_cast<size_t>(std::max(length, 0)));
}

int32_t ToInt32(int64_t value) {
    return static_cast<int32_t>(std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

}  // namespace

ListingParser::ListingParser(const SiteContext& context, const RowPattern& rows,
                             const std::string& pattern, TextConverter& fromSite)
    : context_(context), rows_(rows), pattern_(pattern), fromSite_(fromSite) {}

bool ListingParser::ForEachRow(char* text, size_t length, int type, const std::tm& today,
                               const RowSink& sink) const {
    const SiteData& site = context_.Site();
    ParsePtr parse = MakeParse(context_.PatternCharsetOfSite());
    if (!parse || parse->Parse(pattern_.c_str(), text) == 0) {
        return false;
    }

    // Bound the search for the first row; the byte goes back as soon as it
    // is found (or known missing), so later rows see the whole page.
    const bool cut = length > site.cutLength;
    const char saved = cut ? text[site.cutLength] : '\0';
    if (cut) {
        text[site.cutLength] = '\0';
    }
    bool found = parse->FindNext() != 0;
    if (cut) {
        text[site.cutLength] = saved;
    }

    std::vector<char> buffer(static_cast<size_t>(std::max(site.groupBufferBytes, 2)));
    std::string tag = "[";
    tag.append(site.tag).append("]");
    for (; found; found = parse->FindNext() != 0) {
        TorrentRecord record;
        std::array<int64_t, kMaxDateFields> dateFields{};
        int dateCount = 0;
        bool hasWebAddr = false;
        std::string mirrorId;
        std::string mirrorPath;
        for (size_t number = 0; number < rows_.groups.size(); ++number) {
            const uint16_t fields = rows_.groups[number];
            const std::string_view raw = Group(*parse, static_cast<int>(number), buffer);
            if ((fields & kDate) != 0 && dateCount < kMaxDateFields) {
                dateFields[dateCount++] = LeadingInteger(raw);
            }
            if ((fields & kSeeds) != 0) {
                record.Seeds = ToInt32(LeadingInteger(raw));
            }
            if ((fields & kPeers) != 0) {
                record.Peers = ToInt32(LeadingInteger(raw));
            }
            if ((fields & kTitle) != 0) {
                const std::string_view title =
                    rows_.cutTitle ? raw.substr(0, std::min(raw.size(), kTitleCutBytes)) : raw;
                record.Name = tag;
                fromSite_.Append(title, record.Name);
                CleanTitle(rows_.titleCleanup, record.Name);
            }
            if ((fields & kSizeInBytes) != 0) {
                record.Size = ShortenByteSize(raw);
            }
            if ((fields & kMirrorId) != 0) {
                fromSite_.Append(raw, mirrorId);
            }
            if ((fields & kMirrorPath) != 0) {
                fromSite_.Append(raw, mirrorPath);
            }
            if ((fields & (kAddr0 | kWebAddr | kSize | kComment)) == 0) {
                continue;
            }
            std::string value = (fields & kWithBase) != 0 ? context_.Base() : std::string();
            fromSite_.Append(raw, value);
            if ((fields & kAddr0) != 0) {
                record.Addr0 = value;
            }
            if ((fields & kWebAddr) != 0) {
                record.WebAddr = value;
                hasWebAddr = true;
            }
            if ((fields & kSize) != 0) {
                record.Size = value;
            }
            if ((fields & kComment) != 0) {
                record.Comment = value;
                CleanComment(rows_.commentCleanup, record.Comment);
            }
        }
        if (!hasWebAddr) {
            record.WebAddr = context_.Base();
        }
        if (site.fetch == TorrentFetch::kMirrors) {
            std::string* addresses[] = {&record.Addr0, &record.Addr1, &record.Addr2, &record.Addr3};
            const std::string path = FillArguments(site.mirrorPath, {mirrorPath, mirrorId});
            for (size_t number = 0; number < std::size(addresses); ++number) {
                *addresses[number] = context_.Mirror(static_cast<int>(number)) + path;
            }
        }
        record.AddDate = MakeRowDate(rows_.date, dateFields.data(), dateCount, today);
        record.RefreshDate = record.AddDate;
        record.Type = type;
        sink(std::move(record));
    }
    return true;
}

OleDate MakeRowDate(DateRoutine routine, const int64_t* fields, int count, const std::tm& today) {
    std::array<int, kMaxDateFields> f{};
    for (int i = 0; i < std::min(count, kMaxDateFields); ++i) {
        // Out-of-range numbers become an impossible date, not a wrapped one.
        f[i] = static_cast<int>(std::clamp<int64_t>(fields[i], -1, 1'000'000));
    }
    const auto inferYear = [&today](int month, int day) {
        const int thisMonth = today.tm_mon + 1;
        const bool later = month > thisMonth || (month == thisMonth && day > today.tm_mday);
        return today.tm_year + 1900 - (later ? 1 : 0);
    };
    switch (routine) {
        case DateRoutine::kMonthDayTime:
            return OleDate::FromFields(inferYear(f[0], f[1]), f[0], f[1], f[2], f[3]);
        case DateRoutine::kMonthDay:
            return OleDate::FromFields(inferYear(f[0], f[1]), f[0], f[1]);
        case DateRoutine::kYearMonthDay:
            return OleDate::FromFields(f[0], f[1], f[2]);
        case DateRoutine::kYearMonthDayTime:
            return OleDate::FromFields(f[0], f[1], f[2], f[3], f[4]);
        case DateRoutine::kYearMonthDayTimeSeconds:
            return OleDate::FromFields(f[0], f[1], f[2], f[3], f[4], f[5]);
        case DateRoutine::kUnixSeconds:
            return OleDate::FromUnixTime(static_cast<time_t>(count > 0 ? fields[0] : 0));
    }
    return OleDate::FromFields(0, 0, 0);
}

void CleanTitle(TitleCleanup cleanup, std::string& name) {
    switch (cleanup) {
        case TitleCleanup::kNone:
            return;
        case TitleCleanup::kFontTag:
            CleanFontTag(name, false);
            return;
        case TitleCleanup::kFontTagFirstClose:
            CleanFontTag(name, true);
            return;
        case TitleCleanup::kFontAndStrongTags:
            CleanFontAndStrongTags(name);
            return;
        case TitleCleanup::kSpanTag:
            CleanSpanTag(name);
            return;
    }
}

void CleanComment(CommentCleanup cleanup, std::string& comment) {
    switch (cleanup) {
        case CommentCleanup::kNone:
            return;
        case CommentCleanup::kEscapedScriptQuotes:
            ReplaceAll(comment, "src=\\", "src=");
            ReplaceAll(comment, "href=\\", "href=");
            ReplaceAll(comment, "\\\" ", "\" ");
            return;
        case CommentCleanup::kBoardMarkup:
            ReplaceAll(comment, "\r\n", "<br>");
            ReplaceAll(comment, "[img]", "<img src=\"");
            ReplaceAll(comment, "[IMG]", "<img src=\"");
            ReplaceAll(comment, "[/img]", "\">");
            ReplaceAll(comment, "[/IMG]", "\">");
            return;
    }
}

std::string FillArguments(std::string_view text,
                          std::initializer_list<std::string_view> arguments) {
    std::string out;
    auto next = arguments.begin();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            if (next != arguments.end()) {
                out += *next++;
            }
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::string ShortenByteSize(std::string_view text) {
    size_t digits = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        ++digits;
    }
    if (digits == 0) {
        return {};
    }
    static constexpr std::string_view kUnits[] = {"Bytes", "KB", "MB", "GB", "TB",
                                                  "PB",    "EB", "ZB", "YB"};
    const size_t unit = (digits - 1) / 3;
    if (unit >= std::size(kUnits)) {
        // Past the last unit: the whole number, in bytes.
        return std::string(text.substr(0, digits)) + "Bytes";
    }
    const size_t keep = digits % 3 == 0 ? 3 : digits % 3;
    return std::string(text.substr(0, keep)) + std::string(kUnits[unit]);
}

int64_t LeadingInteger(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Far beyond any count or time a site prints, and far from overflowing.
    constexpr int64_t kLimit = 1'000'000'000'000'000;
    int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    }
    return negative ? -value : value;
}
