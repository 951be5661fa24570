#include "listing_request.h"

#include <algorithm>

namespace {

// The template's text before the section ids, and the id of `section`
// (empty when the slot has no ids or too few).
std::pair<std::string_view, std::string_view> SplitTemplate(std::string_view text, int section) {
    const size_t bar = text.find('|');
    if (bar == std::string_view::npos) {
        return {text, {}};
    }
    std::string_view ids = text.substr(bar + 1);
    for (int k = 1; k < section; ++k) {
        const size_t next = ids.find('|');
        if (next == std::string_view::npos) {
            return {text.substr(0, bar), {}};
        }
        ids.remove_prefix(next + 1);
    }
    return {text.substr(0, bar), ids.substr(0, ids.find('|'))};
}

}  // namespace

std::string FillTemplate(std::string_view text, std::string_view id, int page) {
    std::string out;
    out.reserve(text.size() + id.size() + 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
            if (next == 'd') {
                out += std::to_string(page);
                ++i;
                continue;
            }
            if (next == 's') {
                out += id;
                ++i;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

ListingRequestText BuildListingRequest(const SiteData& site, std::string_view slotTemplate,
                                       int section, int page, std::string_view base,
                                       std::string_view pagerPrefix) {
    const auto [head, id] = SplitTemplate(slotTemplate, section);
    const bool hasIds = slotTemplate.find('|') != std::string_view::npos;
    ListingRequestText request;
    switch (site.request) {
        case ListingRequest::kPathTemplate:
            request.url = std::string(base) + FillTemplate(head, id, page);
            break;
        case ListingRequest::kPagerLink:
            if (page == 1) {
                request.url = std::string(base) + std::string(head) + std::string(id);
            } else {
                request.url = std::string(pagerPrefix) + std::to_string(page);
            }
            break;
        case ListingRequest::kFormPost:
            request.url = std::string(base) + std::string(site.formPath);
            request.body = FillTemplate(site.formBody, hasIds ? id : head, page);
            break;
    }
    return request;
}
