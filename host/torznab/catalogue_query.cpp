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

// A table answers from its trigram index when reading every candidate costs
// less than walking its date index to the rows it has to give: with c
// candidates among n rows, the walk reads about n / c rows per row given,
// so for s rows the index wins while c * c <= n * s. Counting stops at the
// first c past that bound: a common word's candidates are never all counted.
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

// One table's matches, newest first, with its current row read ahead.
struct TableCursor {
    size_t order = 0;  // the leaf's position, which breaks ties between tables
    CAdoRecordSet rows;
    CatalogueRow head;
};

bool ReadHead(TableCursor& cursor) {
    CAdoRecordSet& rows = cursor.rows;
    if (rows.IsEOF()) {
        return false;
    }
    CatalogueRow& row = cursor.head;
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
    std::vector<AdoVariant> patterns;
    std::string likes;
    for (const std::string& word : words) {
        patterns.push_back(AdoVariant::Text(LikePattern(word)));
        likes += " AND t.\"Name\" LIKE ?" + std::to_string(patterns.size() + 1) + " ESCAPE '\\'";
    }
    const std::string trigrams = TrigramQuery(words);
    const int64_t wanted = static_cast<int64_t>(offset) + limit;

    std::vector<std::unique_ptr<TableCursor>> cursors;
    std::priority_queue<TableCursor*, std::vector<TableCursor*>, LaterFirst> heads;
    for (size_t i = 0; i < leaves.size(); ++i) {
        const std::string& table = leaves[i]->leaf->m_strTableName;
        if (!IsValidTableName(table)) {
            continue;
        }
        const std::string quotedTable = Quoted(table);
        const std::string fts = Quoted(catalogue_schema::SearchIndexName(table));
        std::vector<AdoVariant> params{AdoVariant::Int64(wanted)};
        params.insert(params.end(), patterns.begin(), patterns.end());
        bool indexed = false;
        if (!trigrams.empty()) {
            CAdoRecordSet count;
            AdoVariant candidates;
            const int64_t rows = leaves[i]->leaf->m_Table.Count();
            // Each table gives about its share of the page, and at least one row.
            const int64_t share = wanted / static_cast<int64_t>(leaves.size()) + 1;
            const auto bound = static_cast<int64_t>(std::sqrt(static_cast<double>(rows * share)));
            indexed = count.Attach(m_connection.Execute(
                          "SELECT count(*) AS n FROM (SELECT 1 FROM " + fts + " WHERE " + fts +
                              " MATCH ?1 LIMIT ?2)",
                          {AdoVariant::Text(trigrams), AdoVariant::Int64(bound + 1)})) &&
                      !count.IsEOF() && count.GetValue("n", candidates) &&
                      candidates.nValue <= bound;
        }
        std::string sql;
        if (indexed) {
            // The unary + keeps the date index from driving: the candidates
            // are few, the table is large.
            params.push_back(AdoVariant::Text(trigrams));
            sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + fts + " JOIN " +
                  quotedTable + " AS t ON t.rowid = " + fts + ".rowid WHERE " + fts + " MATCH ?" +
                  std::to_string(params.size()) + likes +
                  " ORDER BY +t.\"AddDate\" DESC, t.rowid LIMIT ?1";
        } else {
            sql = "SELECT t.rowid AS rid, " + std::string(kColumns) + " FROM " + quotedTable +
                  " AS t WHERE 1" + likes + " ORDER BY t.\"AddDate\" DESC, t.rowid LIMIT ?1";
        }
        auto cursor = std::make_unique<TableCursor>();
        cursor->order = i;
        cursor->head.leaf = leaves[i];
        if (cursor->rows.Attach(m_connection.Execute(sql, params)) && ReadHead(*cursor)) {
            heads.push(cursor.get());
            cursors.push_back(std::move(cursor));
        }
    }

    std::vector<CatalogueRow> page;
    for (int64_t taken = 0; taken < wanted && !heads.empty(); ++taken) {
        TableCursor* next = heads.top();
        heads.pop();
        if (taken >= offset) {
            page.push_back(next->head);
        }
        if (next->rows.MoveNext() && ReadHead(*next)) {
            heads.push(next);
        }
    }
    return page;
}

}  // namespace torznab
