// The fifteen sites as the whole-catalogue benchmark serves them from one
// local server: every listing request a page run of a fresh home makes, the
// page that answers it, and the Name under which each served row must land in
// the catalogue.
#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace refresh_bench {

struct PageRequest {
    std::string method;  // "GET" or "POST"
    std::string target;  // path with query, in the site's charset
    std::string body;
};

// The key the server finds a request's page under.
std::string RequestKey(const std::string& method, const std::string& target,
                       const std::string& body);

struct ServedPage {
    PageRequest request;
    std::string content;
    int group = 0;  // the category slot the page belongs to
    int index = 0;
    std::vector<std::string> names;  // one per row, as the catalogue stores it
};

struct ServedCatalogue {
    std::vector<ServedPage> pages;
    // [Site_<registry name>] Base of every plug-in, pointing at the server.
    std::vector<std::pair<std::string, std::string>> bases;
    int sections = 0;  // site sections served, over all slots and sites
};

struct CatalogueShape {
    int pagesPerSection = 3;  // pages with rows; the page after them is empty
    int rowsPerPage = 20;
};

// `serverUrl` is "http://127.0.0.1:<port>" without a closing "/". Row dates
// go back from `now`, newest first, page after page.
ServedCatalogue BuildCatalogue(const std::string& serverUrl, time_t now, CatalogueShape shape);

}  // namespace refresh_bench
