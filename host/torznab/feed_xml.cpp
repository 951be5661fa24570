#include "feed_xml.h"

#include <algorithm>
#include <map>
#include <pugixml.hpp>
#include <sstream>

#include "item_fields.h"

namespace torznab {
namespace {

constexpr const char kTorznabNamespace[] = "http://torznab.com/schemas/2015/feed";
constexpr const char kAtomNamespace[] = "http://www.w3.org/2005/Atom";
constexpr const char kTorrentType[] = "application/x-bittorrent";

pugi::xml_document NewDocument() {
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    return document;
}

std::string Save(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

void AddText(pugi::xml_node parent, const char* name, const std::string& text) {
    parent.append_child(name).text() = XmlSafeText(text).c_str();
}

void AddAttr(pugi::xml_node item, const char* name, const std::string& value) {
    pugi::xml_node attr = item.append_child("torznab:attr");
    attr.append_attribute("name") = name;
    attr.append_attribute("value") = value.c_str();
}

std::string QueryEscaped(const std::string& text) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kDigits[byte >> 4];
            out += kDigits[byte & 0x0F];
        }
    }
    return out;
}

}  // namespace

Caps MakeCaps(const std::string& title, const CCategoryMap& map) {
    std::map<int, Caps::Category> byParent;
    for (const LeafCategory& leaf : map.Leaves()) {
        const int parent = ParentCategory(leaf.standard);
        Caps::Category& category = byParent[parent];
        category.id = parent;
        category.name = StandardCategoryName(parent);
        auto& subcats = category.subcats;
        if (leaf.standard != parent &&
            std::none_of(subcats.begin(), subcats.end(),
                         [&](const auto& sub) { return sub.first == leaf.standard; })) {
            subcats.emplace_back(leaf.standard, StandardCategoryName(leaf.standard));
        }
        subcats.emplace_back(leaf.ownId, leaf.leaf->m_strName);
    }
    Caps caps;
    caps.title = title;
    for (auto& [id, category] : byParent) {
        std::stable_sort(category.subcats.begin(), category.subcats.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        caps.categories.push_back(std::move(category));
    }
    return caps;
}

std::string RenderCaps(const Caps& caps) {
    pugi::xml_document document = NewDocument();
    pugi::xml_node root = document.append_child("caps");
    pugi::xml_node server = root.append_child("server");
    server.append_attribute("version") = "1.0";
    server.append_attribute("title") = XmlSafeText(caps.title).c_str();
    pugi::xml_node limits = root.append_child("limits");
    limits.append_attribute("max") = 100;
    limits.append_attribute("default") = 50;
    pugi::xml_node searching = root.append_child("searching");
    for (const char* mode : {"search", "tv-search", "movie-search"}) {
        pugi::xml_node node = searching.append_child(mode);
        node.append_attribute("available") = "yes";
        node.append_attribute("supportedParams") = "q";
    }
    pugi::xml_node categories = root.append_child("categories");
    for (const Caps::Category& category : caps.categories) {
        pugi::xml_node node = categories.append_child("category");
        node.append_attribute("id") = category.id;
        node.append_attribute("name") = XmlSafeText(category.name).c_str();
        for (const auto& [id, name] : category.subcats) {
            pugi::xml_node sub = node.append_child("subcat");
            sub.append_attribute("id") = id;
            sub.append_attribute("name") = XmlSafeText(name).c_str();
        }
    }
    return Save(document);
}

std::string DownloadUrl(const std::string& serverUrl, const std::string& token,
                        const std::string& apiKey) {
    return serverUrl + "/dl/" + token + "?apikey=" + QueryEscaped(apiKey);
}

std::string RenderFeed(const std::string& title, const std::string& serverUrl,
                       const std::string& apiKey, int offset, const std::vector<FeedItem>& items) {
    pugi::xml_document document = NewDocument();
    pugi::xml_node rss = document.append_child("rss");
    rss.append_attribute("version") = "2.0";
    rss.append_attribute("xmlns:atom") = kAtomNamespace;
    rss.append_attribute("xmlns:torznab") = kTorznabNamespace;
    pugi::xml_node channel = rss.append_child("channel");
    pugi::xml_node self = channel.append_child("atom:link");
    self.append_attribute("href") = (serverUrl + "/api").c_str();
    self.append_attribute("rel") = "self";
    self.append_attribute("type") = "application/rss+xml";
    AddText(channel, "title", title);
    AddText(channel, "description", title);
    AddText(channel, "link", serverUrl + "/");
    pugi::xml_node response = channel.append_child("torznab:response");
    response.append_attribute("offset") = offset;

    for (const FeedItem& item : items) {
        pugi::xml_node node = channel.append_child("item");
        const std::string link = DownloadUrl(serverUrl, item.token, apiKey);
        AddText(node, "title", item.title);
        pugi::xml_node guid = node.append_child("guid");
        guid.append_attribute("isPermaLink") = "false";
        guid.text() = XmlSafeText(item.guid).c_str();
        if (!item.comments.empty()) {
            AddText(node, "comments", item.comments);
        }
        if (const std::string date = FormatRfc822(item.pubDate); !date.empty()) {
            AddText(node, "pubDate", date);
        }
        const std::optional<int64_t> size = ParseSizeText(item.sizeText);
        if (size) {
            AddText(node, "size", std::to_string(*size));
        }
        AddText(node, "link", link);
        AddText(node, "category", std::to_string(item.standardCategory));
        pugi::xml_node enclosure = node.append_child("enclosure");
        enclosure.append_attribute("url") = link.c_str();
        enclosure.append_attribute("length") = static_cast<long long>(size.value_or(0));
        enclosure.append_attribute("type") = kTorrentType;
        AddAttr(node, "category", std::to_string(item.standardCategory));
        if (item.ownCategory != 0) {
            AddAttr(node, "category", std::to_string(item.ownCategory));
        }
        if (size) {
            AddAttr(node, "size", std::to_string(*size));
        }
        if (item.seeders >= 0) {
            AddAttr(node, "seeders", std::to_string(item.seeders));
        }
        // Peers counts seeders and leechers alike; the sites count leechers.
        if (item.peers >= 0) {
            AddAttr(node, "peers", std::to_string(std::max(item.seeders, 0) + item.peers));
        }
    }
    return Save(document);
}

std::string RenderError(int code, const std::string& description) {
    pugi::xml_document document = NewDocument();
    pugi::xml_node error = document.append_child("error");
    error.append_attribute("code") = code;
    error.append_attribute("description") = XmlSafeText(description).c_str();
    return Save(document);
}

}  // namespace torznab
