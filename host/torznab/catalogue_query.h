// The catalogue's newest rows across several leaves, optionally only those
// whose Name holds every word of a keyword, read a page at a time.
//
// The store's name search hands back every match of a table; an indexer
// page wants the newest `limit` matches after `offset` over many tables. So
// each table yields its matches newest first (AddDate descending, then row
// id, the table cursor's order) through its own statement, read lazily, and
// the tables are merged: a page costs about offset + limit rows whatever
// the catalogue holds. A word matches as the store's search does (a
// substring, ASCII letters in either case) but literally: '%' and '_' are
// no wildcards here.
//
// A table first walks its newest rows by date, which is where a common word
// stops; past them, its trigram index names the candidate rows, and when
// they are few the walk reads only theirs: a rare word never reads the
// table's rows one by one.
//
// Reads through its own connection to the catalogue file, so it never moves
// the tables' cursors, and sees one snapshot of it per page. Single-threaded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ado_connection.h"
#include "category_map.h"
#include "ole_date.h"

namespace torznab {

struct CatalogueRow {
    const LeafCategory* leaf = nullptr;
    int64_t rowId = 0;
    OleDate addDate;
    std::string name;
    std::string addr0;
    std::string webAddr;
    std::string size;
    int32_t seeds = -1;
    int32_t peers = -1;
    int32_t dllId = 0;
};

class CCatalogueQuery {
  public:
    // False with a sentence when the catalogue file cannot be opened.
    bool Open(const std::string& path, std::string& error);

    // Rows [offset, offset + limit) of the leaves' rows, newest first; with
    // a keyword only the rows whose Name contains each of its blank-separated
    // words.
    std::vector<CatalogueRow> Newest(const std::vector<const LeafCategory*>& leaves,
                                     const std::optional<std::string>& keyword, int offset,
                                     int limit);

  private:
    CAdoConnection m_connection;
};

}  // namespace torznab
