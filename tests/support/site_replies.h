// What the fixture sites answer in the tests that drive whole plug-ins: GBK
// pages, torrent files and the search addresses the plug-ins ask for.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "fixture_server.h"
#include "gbk_text.h"

namespace testing_support {

// A bencoded file holding bytes a text transfer would mangle.
inline std::string Torrent(const std::string& name) {
    return "d8:announce23:http://tracker/announce4:infod4:name" + std::to_string(name.size()) +
           ":" + name + "12:piece lengthi16384e6:pieces4:" + std::string("\0\r\n\xff", 4) + "ee";
}

inline FixtureReply GbkPage(std::string body) {
    FixtureReply reply;
    reply.body = std::move(body);
    reply.contentType = "text/html; charset=gb2312";
    return reply;
}

// A search template filled as the plug-ins fill it: "%s" takes the keyword
// with every GBK byte as %XX, "%%" is one percent sign.
inline std::string FillSearch(std::string_view text, const std::string& keyword) {
    std::string escaped;
    for (const unsigned char byte : Gbk(keyword)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%%%02X", byte);
        escaped += hex;
    }
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 's' || text[i + 1] == '%')) {
            out += text[i + 1] == 's' ? escaped : "%";
            ++i;
            continue;
        }
        out += text[i];
    }
    return out;
}

}  // namespace testing_support
