// The listing parser: cuts a site page into TorrentRecords with the site's row
// pattern. The page engine and the search run it; which rows they keep is
// theirs to decide.
#pragma once

#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

#include "ole_date.h"
#include "site_context.h"
#include "site_data.h"
#include "text_codec.h"
#include "torrent_record.h"

class ListingParser {
  public:
    using RowSink = std::function<void(TorrentRecord&&)>;

    // `pattern` is rows.text in the site's charset; `fromSite` converts the
    // captured texts and must outlive the parser.
    ListingParser(const SiteContext& context, const RowPattern& rows, const std::string& pattern,
                  TextConverter& fromSite);

    // Hands every row of the page to `sink`, in page order. `text` holds
    // `length` bytes followed by a zero. The first row is searched for in the
    // site's cut length only; the text is unchanged afterwards. `type` goes to
    // every record; `today` is the local date the year of yearless dates is
    // inferred from. False when the pattern does not compile.
    bool ForEachRow(char* text, size_t length, int type, const std::tm& today,
                    const RowSink& sink) const;

  private:
    const SiteContext& context_;
    const RowPattern& rows_;
    const std::string& pattern_;
    TextConverter& fromSite_;
};

// The row date from the date groups in the routine's order. Dates printed
// without a year fall in the year before `today` when they would otherwise
// lie after it. An impossible date gives an invalid value.
OleDate MakeRowDate(DateRoutine routine, const int64_t* fields, int count, const std::tm& today);

void CleanTitle(TitleCleanup cleanup, std::string& name);
void CleanComment(CommentCleanup cleanup, std::string& comment);

// `text` with each "%s" replaced by the next argument (by nothing once they
// run out).
std::string FillArguments(std::string_view text, std::initializer_list<std::string_view> arguments);

// A byte count shortened to its leading digits and unit: 1073741824 gives
// "1GB", 12345 "12KB", 999 "999Bytes". The number is cut, not rounded.
std::string ShortenByteSize(std::string_view digits);

// atoi's reading (leading blanks, a sign, digits; 0 without digits), but
// saturating at 10^15 instead of overflowing.
int64_t LeadingInteger(std::string_view text);
