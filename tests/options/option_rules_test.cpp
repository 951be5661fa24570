#include "option_rules.h"

#include <gtest/gtest.h>

namespace {

TEST(OptionRulesTest, DelayTextBecomesMilliseconds) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"250", 250},
        {"  250\t", 250},
        {"", 777},
        {" \t ", 777},
        {"0", 1000},
        {"-5", 1000},
        {"abc", 1000},
        {"1", 1},
        {"12ms", 12},
        {"+40", 40},
        {"+-4", 1000},
        {"2147483647", 2147483647},
        {"2147483648", 1000},
        {"99999999999999999999", 1000},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DelayFromText(c.text, 777), c.expected) << '"' << c.text << '"';
    }
}

TEST(OptionRulesTest, PortTextBecomesAPort) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"1080", 1080},   {" 8080 ", 8080}, {"", 0},   {"http", 0},
        {"65535", 65535}, {"65536", 0},     {"-1", 0}, {"3128/tcp", 3128},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PortFromText(c.text), c.expected) << '"' << c.text << '"';
    }
}

TEST(OptionRulesTest, ProxyTypeDecidesTheBoxes) {
    struct Case {
        int type;
        bool authen;
        ProxyControls expected;
    };
    const Case cases[] = {
        {0, true, {false, false, false, false}}, {1, true, {true, false, false, false}},
        {2, true, {true, false, false, false}},  {3, true, {true, true, true, true}},
        {3, false, {true, true, false, false}},  {4, true, {true, true, true, true}},
        {5, true, {false, false, false, false}}, {-1, true, {false, false, false, false}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProxyControlsFor(c.type, c.authen), c.expected)
            << "type " << c.type << " authen " << c.authen;
    }
}

}  // namespace
