// The request for one listing page of a slot.
#pragma once

#include <string>
#include <string_view>

#include "site_data.h"

struct ListingRequestText {
    std::string url;
    std::string body;  // empty for a GET
};

// Page `page` (from 1) of section `section` (from 1) of a slot whose
// template is `slotTemplate`. `base` is the site's address; `pagerPrefix`
// is the pager link found on page 1 of the section (kPagerLink sites). All
// texts are UTF-8.
ListingRequestText BuildListingRequest(const SiteData& site, std::string_view slotTemplate,
                                       int section, int page, std::string_view base,
                                       std::string_view pagerPrefix);

// Fills a template: "%d" takes `page`, "%s" takes `id`, "%%" is one percent
// sign; any other '%' stands for itself.
std::string FillTemplate(std::string_view text, std::string_view id, int page);
