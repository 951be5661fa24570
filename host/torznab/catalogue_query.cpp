#include "catalogue_query.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <queue>
#include <set>

#include "ado_recordset.h"
#include "catalogue_schema.h"

namespace torznab {
namespace {

// A table first reads its newest rows by date, a window of this many rows
// per row it is likely to give the page: most words end the search there.
// Past its window, a table counts the keyword's candidate rows in its
// trigram index, up to a bound. With c candidates among n rows, walking the
// date index reads about n / c entries per row given, so for s rows
// gathering the candidates pays while c * c <= n * s; then the walk reads
// only the candidates' rows. Reading candidates in their own order costs a
// cold page each, several times a walked entry, so that only pays for the
// fewest. More candidates than the bound: the walk reads every row.
constexpr int64_t kWindowRowsPerShare = 200;
// The fewest: up to the bound divided by this.
constexpr int64_t kFewCandidatesPerBound = 8;
// Pages of the read connection's cache (32 MB): the indexes' upper levels
// and the recent rows stay in memory between requests.
constexpr const char kCacheSize[] = "PRAGMA cache_size = -32768";
// Trigrams beyond these narrow a candidate set no further worth the cost.
constexpr size_t kMaxTrigrams = 16;

const char kColumns[] =
    "t.\"AddDate\", t.\"Name\", t.\"Addr0\", t.\"WebAddr\", t.\"Size\", t.\"Seeds\", "
    "t.\"Peers\", t.\"DllID\"";

std::string Quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::vector<std::string> Words(const std::string& keyword) {
    std::vector<std::string> words;
    size_t start = 0;
    while ((start = keyword.find_first_not_of(" \t", start)) != std::string::npos) {
        const size_t end = keyword.find_first_of(" \t", start);
        words.push_back(keyword.substr(start, end - start));
        start = end;
    }
    return words;
}

// "%word%" with the pattern characters of LIKE taken literally.
std::string LikePattern(const std::string& word) {
    std::string pattern = "%";
    for (const char c : word) {
        if (c == '%' || c == '_' || c == '\\') {
            pattern += '\\';
        }
        pattern += c;
    }
    return pattern + "%";
}

// Every distinct trigram (of characters, as the index counts them) of the
// words, each quoted, all required. Empty when no word has three characters.
std::string TrigramQuery(const std::vector<std::string>& words) {
    std::set<std::string> trigrams;
    std::string query;
    for (const std::string& word : words) {
        std::vector<std::string> characters;
        for (size_t i = 0; i < word.size();) {
            size_t length = 1;
            while (i + length < word.size() &&
                   (static_cast<unsigned char>(word[i + length]) & 0xC0) == 0x80) {
                ++length;
            }
            characters.push_back(word.substr(i, length));
            i += length;
        }
        for (size_t i = 0; i + 3 <= characters.size() && trigrams.size() < kMaxTrigrams; ++i) {
            const std::string trigram = characters[i] + characters[i + 1] + characters[i + 2];
            if (trigrams.insert(trigram).second) {
                query += (query.empty() ? "" : " AND ") + Quoted(trigram);
            }
        }
    }
    return query;
}

// One table's matches, newest first, with its current row read ahead. It
// first reads the table's newest rows by date and keeps those that match;
// only a table that needs more than that window held picks the way to read
// the rest.
struct TableCursor {
    size_t order = 0;  // the leaf's position, which breaks ties between tables
    CAdoRecordSet rows;
    CatalogueRow head;
    bool inWindow = false;
    int64_t scanned = 0;  // window rows read
};

bool ReadRow(CAdoRecordSet& rows, CatalogueRow& row) {
    if (rows.IsEOF()) {
        return false;
    }
    AdoVariant rowId;
    rows.GetValue("rid", rowId);
    row.rowId = rowId.nValue;
    row.addDate = OleDate{};
    rows.GetValue("AddDate", row.addDate);
    row.name.clear();
    row.addr0.clear();
    row.webAddr.clear();
    row.size.clear();
    rows.GetValue("Name", row.name);
    rows.GetValue("Addr0", row.addr0);
    rows.GetValue("WebAddr", row.webAddr);
    rows.GetValue("Size", row.size);
    row.seeds = row.peers = -1;
    rows.GetValue("Seeds", row.seeds);
    rows.GetValue("Peers", row.peers);
    int16_t dllId = 0;
    rows.GetValue("DllID", dllId);
    row.dllId = dllId;
    return true;
}

// Newer first; equal dates in leaf order, then row order.
struct LaterFirst {
    bool operator()(const TableCursor* a, const TableCursor* b) const {
        if (a->head.addDate.m_dt != b->head.addDate.m_dt) {
            return a->head.addDate.m_dt < b->head.addDate.m_dt;
        }
        if (a->order != b->order) {
            return a->order > b->order;
        }
        return a->head.rowId > b->head.rowId;
    }
};

// What every table of one search shares.
struct SearchTerms {
    explicit SearchTerms(CAdoConnection& owner) : connection(owner) {}
    CAdoConnection& connection;
    int64_t wanted = 0;
    int64_t share = 0;               // about the rows each table gives to the page
    int64_t window = 0;              // newest rows each table reads before choosing a way
    std::string likes;               // " AND t.Name LIKE ?2 ...", one per word
    std::vector<AdoVariant> params;  // ?1 the limit, then the words' patterns
    std::string trigrams;
};

bool ReadHead(const SearchTerms& terms, TableCursor& cursor);

// The table's rows past its window, read one of three ways by how many
// candidate rows the keyword's trigrams name.
void ReadBeyondWindow(const SearchTerms& terms, TableCursor& cursor) {
    const std::string& name = cursor.head.leaf->leaf->m_strTableName;
    const std::string table = Quoted(name);
    const std::string fts = Quoted(catalogue_schema::SearchIndexName(name));
    const int64_t rows = cursor.head.leaf->leaf->m_Table.Count();
    const auto bound = static_cast<int64_t>(std::sqrt(static_cast<double>(rows * terms.share)));
    CAdoRecordSet count;
    AdoVariant candidates;
    const bool counted = count.Attach(terms.connection.Execute(
                             "SELECT count(*) AS n FROM (SELECT 1 FROM " + fts + " WHERE " + fts +
                                 " MATCH ?1 LIMIT ?2)",
                             {AdoVariant::Text(terms.trigrams), AdoVariant::Int64(bound + 1)})) &&
                         !count.IsEOF() && count.GetValue("n", candidates);
    std::vector<AdoVariant> params = terms.params;
    // Leaves out the window, whose rows fail the NOT IN from the date index
    // alone, before their row is read.
    params.push_back(AdoVariant::Int64(terms.window));
    const std::string beyond = " AND t.rowid NOT IN (SELECT rowid FROM " + table +
                               " ORDER BY \"AddDate\" DESC, rowid LIMIT ?" +
                               std::to_string(params.size()) + ")";
    params.push_back(AdoVariant::Text(terms.trigrams));
    const std::string match =
        "SELECT rowid FROM " + fts + " WHERE " + fts + " MATCH ?" + std::to_string(params.size());
    std::string sql;
    if (counted && candidates.nValue <= bound / kFewCandidatesPerBound) {
        // So few that reading each and sorting them is cheapest.
        sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + table +
              " AS t WHERE t.rowid IN (" + match + ")" + beyond + terms.likes +
              " ORDER BY +t.\"AddDate\" DESC, t.rowid LIMIT ?1";
    } else if (counted && candidates.nValue <= bound) {
        // Walks the date index and reads only the rows that are candidates:
        // the unary + keeps the candidates from driving.
        sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + table +
              " AS t WHERE +t.rowid IN (" + match + ")" + beyond + terms.likes +
              " ORDER BY t.\"AddDate\" DESC, t.rowid LIMIT ?1";
    } else {
        // Too many candidates to gather: walks on and reads every row, as
        // the window did.
        params.pop_back();
        sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + table +
              " AS t WHERE 1" + beyond + terms.likes +
              " ORDER BY t.\"AddDate\" DESC, t.rowid LIMIT ?1";
    }
    cursor.inWindow = false;
    // A failed statement leaves the cursor closed: the table gives no more.
    [[maybe_unused]] const bool attached =
        cursor.rows.Attach(terms.connection.Execute(sql, params));
}

// Reads the cursor's next match into its head; false when it has no more.
bool ReadHead(const SearchTerms& terms, TableCursor& cursor) {
    if (!cursor.inWindow) {
        return cursor.rows.IsOpen() && ReadRow(cursor.rows, cursor.head);
    }
    for (; !cursor.rows.IsEOF(); cursor.rows.MoveNext()) {
        ++cursor.scanned;
        AdoVariant hit;
        if (cursor.rows.GetValue("hit", hit) && hit.nValue != 0) {
            AdoVariant rowId;
            CAdoRecordSet row;
            return cursor.rows.GetValue("rid", rowId) &&
                   row.Attach(terms.connection.Execute(
                       "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " +
                           Quoted(cursor.head.leaf->leaf->m_strTableName) +
                           " AS t WHERE t.rowid = ?1",
                       {AdoVariant::Int64(rowId.nValue)})) &&
                   ReadRow(row, cursor.head);
        }
    }
    // A window shorter than asked was the whole table.
    if (cursor.scanned < terms.window) {
        return false;
    }
    ReadBeyondWindow(terms, cursor);
    return ReadHead(terms, cursor);
}

bool MoveNext(const SearchTerms& terms, TableCursor& cursor) {
    if (cursor.inWindow) {
        cursor.rows.MoveNext();
    } else if (!cursor.rows.IsOpen() || !cursor.rows.MoveNext()) {
        return false;
    }
    return ReadHead(terms, cursor);
}

}  // namespace

bool CCatalogueQuery::Open(const std::string& path, std::string& error) {
    if (!m_connection.Open(path)) {
        error = "cannot open the catalogue " + path;
        return false;
    }
    // A smaller page cache only costs speed, never a result.
    [[maybe_unused]] const AdoResult cache = m_connection.Execute(kCacheSize);
    return true;
}

std::vector<CatalogueRow> CCatalogueQuery::Newest(const std::vector<const LeafCategory*>& leaves,
                                                  const std::optional<std::string>& keyword,
                                                  int offset, int limit) {
    const std::vector<std::string> words = keyword ? Words(*keyword) : std::vector<std::string>();
    SearchTerms terms(m_connection);
    terms.wanted = static_cast<int64_t>(offset) + limit;
    terms.share = terms.wanted / static_cast<int64_t>(std::max<size_t>(leaves.size(), 1)) + 1;
    terms.window = kWindowRowsPerShare * terms.share;
    terms.params.push_back(AdoVariant::Int64(terms.wanted));
    for (const std::string& word : words) {
        terms.params.push_back(AdoVariant::Text(LikePattern(word)));
        terms.likes +=
            " AND t.\"Name\" LIKE ?" + std::to_string(terms.params.size()) + " ESCAPE '\\'";
    }
    terms.trigrams = TrigramQuery(words);

    // One snapshot for the whole search: a table's window and the rows read
    // past it must come from the same rows while another process writes.
    const bool snapshot = m_connection.Execute("BEGIN").IsOk();
    std::vector<std::unique_ptr<TableCursor>> cursors;
    std::priority_queue<TableCursor*, std::vector<TableCursor*>, LaterFirst> heads;
    for (size_t i = 0; i < leaves.size(); ++i) {
        const std::string& table = leaves[i]->leaf->m_strTableName;
        if (!IsValidTableName(table)) {
            continue;
        }
        auto cursor = std::make_unique<TableCursor>();
        cursor->order = i;
        cursor->head.leaf = leaves[i];
        std::string sql;
        std::vector<AdoVariant> params = terms.params;
        if (terms.trigrams.empty()) {
            sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + Quoted(table) +
                  " AS t WHERE 1" + terms.likes + " ORDER BY t.\"AddDate\" DESC, t.rowid LIMIT ?1";
        } else {
            cursor->inWindow = true;
            params.front() = AdoVariant::Int64(terms.window);
            // Only a match's columns are read, by its row id: producing them
            // for every row the window passes costs more than the lookups.
            sql = "SELECT t.rowid AS rid, 1" + terms.likes + " AS hit FROM " + Quoted(table) +
                  " AS t ORDER BY t.\"AddDate\" DESC, t.rowid LIMIT ?1";
        }
        if (cursor->rows.Attach(m_connection.Execute(sql, params)) && ReadHead(terms, *cursor)) {
            heads.push(cursor.get());
            cursors.push_back(std::move(cursor));
        }
    }

    std::vector<CatalogueRow> page;
    for (int64_t taken = 0; taken < terms.wanted && !heads.empty(); ++taken) {
        TableCursor* next = heads.top();
        heads.pop();
        if (taken >= offset) {
            page.push_back(next->head);
        }
        // The page's last row needs no successor: finding one may walk far.
        if (taken + 1 < terms.wanted && MoveNext(terms, *next)) {
            heads.push(next);
        }
    }
    cursors.clear();
    // A transaction left open would pin this snapshot for every later search.
    if (snapshot && !m_connection.Execute("COMMIT").IsOk()) {
        [[maybe_unused]] const AdoResult rollback = m_connection.Execute("ROLLBACK");
    }
    return page;
}

}  // namespace torznab
