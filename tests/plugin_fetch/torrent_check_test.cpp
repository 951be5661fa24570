// What counts as a torrent worth keeping.
#include "torrent_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TorrentCheck, AcceptsOnlyOneDictionaryWithAnInfoDictionary) {
    const std::string binary("\0\r\n\xff", 4);
    const struct {
        std::string body;
        bool torrent;
    } cases[] = {
        {"d4:infodee", true},
        {"d8:announce9:http://t/4:infod6:lengthi3e4:name1:x6:pieces4:" + binary + "ee", true},
        {"d1:ai-7e1:bli0el1:xee4:infod1:zdeee", true},
        {"d4:infod1:ad1:bd1:cli1eeeeee", true},
        // What sites send instead.
        {"", false},
        {"database error: too many connections", false},
        {"d", false},
        {"de", false},
        {"d4:infoi1ee", false},
        {"d4:infol1:xee", false},
        {"d1:ad4:infodeee", false},  // info below the top level
        {"l4:infodee", false},
        // Cut short, or with more after the end.
        {"d4:infod", false},
        {"d4:infodee\n", false},
        {"d4:infodeed4:infodee", false},
        {"d4:infod4:name5:abcee", false},
        // Malformed items.
        {"d4:infod1:ai01eee", false},
        {"d4:infod1:ai-0eee", false},
        {"d4:infod1:aieee", false},
        {"d4:infod1:ai1xeee", false},
        {"d04:infodee", false},
        {"di1e4:infodee", false},
        {"d4:infod1:aee", false},
        {"d4:info", false},
        {"d99999999999999999999999:xe", false},
    };
    for (const auto& [body, torrent] : cases) {
        EXPECT_EQ(IsWellFormedTorrent(body), torrent) << body;
    }
}

TEST(TorrentCheck, DeepNestingNeitherOverflowsNorFails) {
    constexpr int kDepth = 200000;
    const std::string deep =
        "d4:infod1:a" + std::string(kDepth, 'l') + std::string(kDepth, 'e') + "ee";
    EXPECT_TRUE(IsWellFormedTorrent(deep));
    EXPECT_FALSE(IsWellFormedTorrent(deep.substr(0, deep.size() - 1)));
}

}  // namespace
