#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "match_all.h"

namespace {

Rows Find(const std::string& pattern, const std::string& text, int groups,
          PatternCharset charset = PatternCharset::Gbk) {
    std::optional<Rows> rows = MatchAll(pattern, text, groups, charset);
    EXPECT_TRUE(rows.has_value()) << "pattern refused: " << pattern;
    return rows.value_or(Rows{});
}

bool Accepts(const std::string& pattern) {
    ParserPtr parser(CreateParse());
    return parser->Parse(pattern.c_str(), "") != 0;
}

TEST(Dialect, OnlyBracesCaptureNumberedByOpeningBrace) {
    EXPECT_EQ(Find("({a})(b)({c{d}})", "abcd", 3), (Rows{{"a", "cd", "d"}}));
    // An optional group that did not take part reads as empty.
    EXPECT_EQ(Find("x({y})?{z}", "xz", 2), (Rows{{"", "z"}}));
}

TEST(Dialect, BarAlternatesTheTwoGroupsAroundIt) {
    const std::string pattern = "<tr class=\"(even)|(odd)\">{\\d+}</tr>";
    EXPECT_EQ(Find(pattern, "<tr class=\"even\">1</tr><tr class=\"odd\">2</tr>", 1),
              (Rows{{"1"}, {"2"}}));
    // Were the whole pattern split at the bar, "odd\">" alone would match.
    EXPECT_EQ(Find("x(even)|(odd)y", "odd\"> xeveny xoddy xodd", 0).size(), 2u);
    EXPECT_EQ(Find("[(a)|(b)|(c)]", "[a][c][d]", 0).size(), 2u);
    EXPECT_EQ(Find("{a}|{b}!", "b!", 2), (Rows{{"", "b"}}));
    // Away from a group the bar is markup like any other character.
    EXPECT_EQ(Find("a|b", "a b a|b", 0).size(), 1u);
}

TEST(Dialect, EscapesAndClasses) {
    // \b is one blank, not a word boundary.
    EXPECT_EQ(Find("a\\bb", "ab a b a\tb", 0).size(), 2u);
    EXPECT_EQ(Find("f\\(\\b?'{.*?}'\\)", "f( 'a') f('b') f(  'c')", 1), (Rows{{"a"}, {"b"}}));
    EXPECT_EQ(Find("#{\\h+}", "#09afAF #g", 1), (Rows{{"09afAF"}}));
    EXPECT_EQ(Find("{\\d+}\\n", "12\n3 4\n", 1), (Rows{{"12"}, {"4"}}));
    EXPECT_EQ(Find("{\\.\\?\\(\\)\\[\\]\\\\}", "x.?()[]\\y", 1), (Rows{{".?()[]\\"}}));
    // Characters special to PCRE2 but not to the dialect stand for themselves.
    EXPECT_EQ(Find("{[^a$]}", "[^a$]", 1), (Rows{{"[^a$]"}}));
    EXPECT_EQ(Find("\\{\\}\\*", "{}*", 0).size(), 1u);
}

TEST(Dialect, DotRepetitionAndCase) {
    EXPECT_EQ(Find("<{.*?}>", "<a\nb><c>", 1), (Rows{{"a\nb"}, {"c"}}));
    EXPECT_EQ(Find("<{.*}>", "<a\nb><c>", 1), (Rows{{"a\nb><c"}}));
    EXPECT_EQ(Find("<td>(<b>)?{\\d+}(</b>)?</td>", "<td><b>7</b></td><td>8</td>", 1),
              (Rows{{"7"}, {"8"}}));
    EXPECT_EQ(Find("(&nbsp;)*{x+}", "&nbsp;&nbsp;xx", 1), (Rows{{"xx"}}));
    EXPECT_TRUE(Find("<TR>", "<tr>", 0).empty());
}

TEST(Dialect, MalformedPatternsAreRefused) {
    for (const char* pattern : {"{a", "a}", "(a", "a)", "{a)", "(a}", "*a", "{+}", "a**", "a+*",
                                "\\w", "\\s", "a\\", "(a)|", "((a)|)"}) {
        EXPECT_FALSE(Accepts(pattern)) << pattern;
    }
    EXPECT_TRUE(Accepts("a*?b+?c??"));
    EXPECT_TRUE(Accepts(std::string(150, '{') + std::string(150, '}')));
    EXPECT_FALSE(Accepts(std::string(5000, '(') + std::string(5000, ')')));

    ParserPtr parser(CreateParse());
    EXPECT_FALSE(parser->Parse(nullptr, "text"));
    EXPECT_FALSE(parser->Parse("x", nullptr));
    EXPECT_FALSE(parser->Parse("{x", "x"));
    EXPECT_FALSE(parser->FindNext());
}

TEST(Dialect, GbkCharactersAreLiteralWhateverTheirSecondByte) {
    // Each of these characters ends in a byte that is dialect syntax.
    const std::string backslash = Gbk("運"), brace = Gbk("調"), bar = Gbk("東");
    ASSERT_EQ(backslash[1], '\\');
    ASSERT_EQ(brace[1], '{');
    ASSERT_EQ(bar[1], '|');

    const std::string text = backslash + "12" + brace + "34" + bar + "56(x)";
    EXPECT_EQ(Find(backslash + "{\\d+}" + brace + "{\\d+}" + bar + "{\\d+}", text, 3),
              (Rows{{"12", "34", "56"}}));
    EXPECT_EQ(Find("{\\d+}" + bar + "!", "! 1" + bar + "!", 1), (Rows{{"1"}}));
    // A repeat after a two-byte character repeats the whole character.
    EXPECT_EQ(Find("{" + Gbk("年") + "+}", Gbk("年年月"), 1), (Rows{{Gbk("年年")}}));
    // GBK is the default; read byte by byte the same pattern means
    // something else ("\{" is a literal brace, and the braces do not pair).
    EXPECT_FALSE(MatchAll(backslash + "{\\d+}", backslash + "12", 1, PatternCharset::Bytes));
}

TEST(Dialect, Utf8CharactersAreLiteral) {
    EXPECT_EQ(Find("{年+}月", "年年月", 1, PatternCharset::Utf8), (Rows{{"年年"}}));
    EXPECT_TRUE(Find("年+月", "年\xB4月", 0, PatternCharset::Utf8).empty());
    EXPECT_EQ(Find("年+月", "年\xB4月", 0, PatternCharset::Bytes).size(), 1u);
}

TEST(Matcher, FindsEveryMatchInTurnAndEmptyMatchesAdvance) {
    EXPECT_EQ(Find("<{\\d+}>", "<1><2>x<3>", 1), (Rows{{"1"}, {"2"}, {"3"}}));
    EXPECT_EQ(Find("{\\d*}", "a1b", 1), (Rows{{""}, {"1"}, {""}, {""}}));

    // One matcher serves one page after another.
    ParserPtr parser(CreateParse());
    char buffer[8];
    ASSERT_TRUE(parser->Parse("{\\d}", "12"));
    ASSERT_TRUE(parser->FindNext());
    ASSERT_TRUE(parser->Parse("{[a-z]}", "[a-z]"));
    ASSERT_TRUE(parser->FindNext());
    EXPECT_EQ(parser->GetGroup(0, buffer, sizeof buffer), 5);
    EXPECT_FALSE(parser->FindNext());
    EXPECT_FALSE(parser->FindNext());
}

TEST(Matcher, GetGroupCutsToTheBuffer) {
    ParserPtr parser(CreateParse());
    ASSERT_TRUE(parser->Parse("{\\d+}-{x}?", "1234567-"));
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(parser->GetGroup(0, buffer, sizeof buffer), 0) << "before the first match";
    EXPECT_STREQ(buffer, "");

    ASSERT_TRUE(parser->FindNext());
    EXPECT_EQ(parser->GetGroup(0, buffer, 5), 4);
    EXPECT_STREQ(buffer, "1234");
    EXPECT_EQ(parser->GetGroup(0, buffer, 8), 7);
    EXPECT_STREQ(buffer, "1234567");
    EXPECT_EQ(parser->GetGroup(0, buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    for (int number : {1, 2, -1}) {  // unset, beyond the last group, negative
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(parser->GetGroup(number, buffer, sizeof buffer), 0);
        EXPECT_STREQ(buffer, "");
    }
    buffer[0] = '#';
    EXPECT_EQ(parser->GetGroup(0, buffer, 0), 0);
    EXPECT_EQ(buffer[0], '#') << "a zero size writes nothing";

    EXPECT_FALSE(parser->FindNext());
    EXPECT_EQ(parser->GetGroup(0, buffer, sizeof buffer), 0) << "after the last match";
}

TEST(Matcher, FollowsBytesTheCallerChangesBetweenCalls) {
    // The listing parser cuts the first search short with a zero, and puts
    // the byte back once the first row is found; here the cut also moves on.
    std::string page = "<r>1</r><r>2</r><r>3</r><r>4</r>";
    const size_t cut = page.find("<r>2"), second_cut = page.find("<r>3");
    ParserPtr parser(CreateParse());
    ASSERT_TRUE(parser->Parse("<r>{\\d}</r>", page.c_str()));
    page[cut] = '\0';
    char buffer[8];
    ASSERT_TRUE(parser->FindNext());
    page[cut] = '<';
    page[second_cut] = '\0';
    parser->GetGroup(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "1");
    ASSERT_TRUE(parser->FindNext());
    parser->GetGroup(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "2");
    page[second_cut] = '<';
    ASSERT_TRUE(parser->FindNext());
    ASSERT_TRUE(parser->FindNext());
    parser->GetGroup(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "4");
    EXPECT_FALSE(parser->FindNext());

    // A first row beyond the cut is not found, and the search stays over.
    ASSERT_TRUE(parser->Parse("<r>{\\d}</r>", page.c_str()));
    page[2] = '\0';
    EXPECT_FALSE(parser->FindNext());
    page[2] = '>';
    EXPECT_FALSE(parser->FindNext());
}

TEST(Matcher, APageThatAlmostMatchesEndsTheSearch) {
    // Rows that break just before their end make lazy patterns backtrack over
    // the rest of the page; the search must give up rather than hang.
    std::string page;
    for (int i = 0; i < 400; ++i) {
        page +=
            "<tr><td>03-10</td><td><a href=x>t</a></td><td><b>1</b><b>2</b>"
            "<a href=u>u</a><a href=y rel=_blank>v</a></td></tr>\n";
    }
    const std::string pattern =
        "<tr>.*?<td.*?>({\\d+}-{\\d+})</td>.*?<a.*?</a>.*?<b>({\\d+})</b>.*?<b>({\\d+})</b>"
        ".*?<a.*?</a>.*?<a href=({.*?}) target";
    ParserPtr parser(CreateParse());
    ASSERT_TRUE(parser->Parse(pattern.c_str(), page.c_str()));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(parser->FindNext());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_FALSE(parser->FindNext());
}

TEST(Matcher, LongRowsNeedingADeepStackStillMatch) {
    std::string row = "<a>";
    for (int i = 0; i < 20000; ++i) {
        row += "&nbsp;";
    }
    row += "title</a>";
    EXPECT_EQ(Find("<a>(&nbsp;)*{.*?}</a>", row + row, 1), (Rows{{"title"}, {"title"}}));
}

TEST(Matcher, ThreadsShareCompiledPatterns) {
    // Every thread asks for the same patterns at once: compiled once, each
    // matcher keeps its own match state.
    std::vector<std::thread> threads;
    std::vector<int> found(4, 0);
    for (size_t t = 0; t < found.size(); ++t) {
        threads.emplace_back([t, &found] {
            const std::string text = "<i>" + std::to_string(t) + "</i>";
            for (int round = 0; round < 50; ++round) {
                std::string pattern = "<i>{\\d+}</i>";
                for (int i = 0; i < round % 5; ++i) {
                    pattern += "(z)?";
                }
                std::optional<Rows> rows = MatchAll(pattern, text + text, 1);
                if (rows && *rows == Rows{{std::to_string(t)}, {std::to_string(t)}}) {
                    ++found[t];
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(found, std::vector<int>(4, 50));
}

}  // namespace
