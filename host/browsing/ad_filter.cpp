#include "ad_filter.h"

#include <nlohmann/json.hpp>

#include "config_keys.h"
#include "ini_file.h"

namespace {

constexpr std::string_view kScheme = "http://";
constexpr std::string_view kAdPath = "/ad";

// The script holds the fragments as a JSON array, which is also a JavaScript
// expression; no fragment can end the literal early or run as code.
constexpr std::string_view kScriptHead = R"js((function () {
    window.onerror = function () { return true; };
    var adHosts = )js";

constexpr std::string_view kScriptTail = R"js(;
    if (typeof window.external !== 'object' || window.external === null) {
        window.external = {};
    }
    window.external.gbIsAdContent = function (url) {
        if (typeof url !== 'string' || url.indexOf('http://') < 0) {
            return false;
        }
        if (url.indexOf('/ad') >= 0) {
            return true;
        }
        for (var k = 0; k < adHosts.length; k++) {
            if (adHosts[k] !== '' && url.indexOf(adHosts[k]) >= 0) {
                return true;
            }
        }
        return false;
    };
    function killTag(tagName) {
        var objs = document.getElementsByTagName(tagName);
        for (var i = 0; i < objs.length; i++) {
            var element = objs[i];
            var url = tagName === 'object' ? (element.movie || element.data) : element.src;
            if (typeof url !== 'string' || url === '') {
                continue;
            }
            if (url.indexOf('://') < 0) {
                url = document.URL.substring(0, document.URL.lastIndexOf('/') + 1) + url;
            }
            if (window.external.gbIsAdContent(url)) {
                var count = objs.length;
                element.outerHTML = '<AD>';
                // The list is live: the next element moved into this place.
                if (objs.length < count) {
                    i--;
                }
            }
        }
    }
    killTag('iframe');
    killTag('img');
    killTag('embed');
    killTag('object');
})();
)js";

}  // namespace

bool IsAdContent(std::string_view url, const std::vector<std::string>& fragments) {
    if (url.find(kScheme) == std::string_view::npos) {
        return false;
    }
    if (url.find(kAdPath) != std::string_view::npos) {
        return true;
    }
    for (const std::string& fragment : fragments) {
        if (!fragment.empty() && url.find(fragment) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ParseAdFragments(std::string_view text) {
    constexpr std::string_view kSeparators = " \t,";
    std::vector<std::string> fragments;
    size_t start = text.find_first_not_of(kSeparators);
    while (start != std::string_view::npos) {
        const size_t end = text.find_first_of(kSeparators, start);
        fragments.emplace_back(text.substr(start, end - start));
        start = text.find_first_not_of(kSeparators, end);
    }
    if (fragments.empty()) {
        fragments.assign(config::kDefaultAdHostFragments.begin(),
                         config::kDefaultAdHostFragments.end());
    }
    return fragments;
}

std::vector<std::string> LoadAdFragments(const CIniFile& ini) {
    std::string text;
    ini.GetString(config::kAdHostFragments.section, config::kAdHostFragments.key, text);
    return ParseAdFragments(text);
}

std::string AdRemovalScript(const std::vector<std::string>& fragments) {
    // Invalid UTF-8 in a hand-edited value becomes U+FFFD instead of failing.
    const std::string hosts =
        nlohmann::json(fragments).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    std::string script;
    script.reserve(kScriptHead.size() + hosts.size() + kScriptTail.size());
    script.append(kScriptHead).append(hosts).append(kScriptTail);
    return script;
}
