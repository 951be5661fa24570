#include "ad_filter.h"

#include <duktape.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "config_keys.h"
#include "ini_file.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kFragments = {".adnet.example",  "track.example/pix", "",
                                             "x\"];throw 1;//", "back\\slash",       "it's"};

// Addresses with the test's answer for kFragments.
const struct {
    const char* url;
    bool ad;
} kUrls[] = {
    {"http://site.example/ads/banner.gif", true},
    {"https://site.example/ads/banner.gif", false},
    {"http://site.example/Ad/banner.gif", false},
    {"http://ad.site.example/x", true},
    {"http://cdn.adnet.example/x.js", true},
    {"http://cdn.ADNET.example/x.js", false},
    {"http://track.example/pixel", true},
    {"http://track.example/other", false},
    {"https://proxy.example/?u=http://s.example/ad", true},
    {"ftp://s.example/ad", false},
    {"http://s.example/x\"];throw 1;//", true},
    {"http://s.example/back\\slash", true},
    {"http://s.example/it's", true},
    {"http://site.example/index.htm", false},
};

TEST(AdFilterTest, AddressesNeedHttpAndAFragment) {
    for (const auto& c : kUrls) {
        EXPECT_EQ(IsAdContent(c.url, kFragments), c.ad) << c.url;
    }
    EXPECT_FALSE(IsAdContent("http://site.example/x", {""}));
}

TEST(AdFilterTest, FragmentsComeFromTheConfigurationOrTheBuiltInList) {
    const std::vector<std::string> builtIn(config::kDefaultAdHostFragments.begin(),
                                           config::kDefaultAdHostFragments.end());
    EXPECT_EQ(ParseAdFragments(" a.example, b.example/x\tc "),
              (std::vector<std::string>{"a.example", "b.example/x", "c"}));
    EXPECT_EQ(ParseAdFragments(" , "), builtIn);

    std::string dir = (fs::temp_directory_path() / "adfilter-XXXXXX").string();
    ASSERT_NE(::mkdtemp(dir.data()), nullptr);
    CIniFile ini(dir + "/global.ini");
    EXPECT_EQ(LoadAdFragments(ini), builtIn);
    std::ofstream(ini.GetPath()) << "[WebCfg]\nAdHostFragments=.one.example two.example/\n";
    EXPECT_EQ(LoadAdFragments(ini), (std::vector<std::string>{".one.example", "two.example/"}));
    fs::remove_all(dir);
}

// A document whose getElementsByTagName answers live lists, as a browser's
// does, and whose elements take outerHTML by turning into the markup's tag.
constexpr const char* kDocument = R"js(
var window = this;
var elements = [];
function add(tag, props) {
    var element = {tag: tag};
    for (var k in props) element[k] = props[k];
    Object.defineProperty(element, 'outerHTML', {set: function (html) {
        elements[elements.indexOf(element)] = {tag: html};
    }});
    elements.push(element);
}
var document = {
    URL: 'http://site.example/dir/page.htm',
    getElementsByTagName: function (tag) {
        return new Proxy({}, {get: function (target, key) {
            var list = elements.filter(function (e) { return e.tag === tag; });
            return key === 'length' ? list.length : list[key];
        }});
    }
};
add('img', {src: 'http://site.example/ads/1.gif'});
add('img', {src: 'http://site.example/ads/2.gif'});
add('img', {src: 'http://site.example/logo.gif'});
add('img', {src: 'ad/x.gif'});
add('img', {src: ''});
add('iframe', {src: 'http://cdn.adnet.example/frame'});
add('embed', {src: 'https://site.example/ads/x.swf'});
add('object', {movie: 'http://site.example/ads/m.swf'});
add('object', {data: 'http://site.example/adv.swf'});
add('object', {});
add('img', {src: 'http://site.example/Ad/x.gif'});
)js";

struct DukDeleter {
    void operator()(duk_context* ctx) const { duk_destroy_heap(ctx); }
};

class AdScriptTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ctx_);
        Run(kDocument);
        Run(AdRemovalScript(kFragments));
    }

    void Run(const std::string& code) {
        ASSERT_EQ(duk_peval_string(ctx_.get(), code.c_str()), 0)
            << duk_safe_to_string(ctx_.get(), -1);
        duk_pop(ctx_.get());
    }
    std::string Eval(const std::string& code) {
        if (duk_peval_string(ctx_.get(), code.c_str()) != 0) {
            return std::string("error: ") + duk_safe_to_string(ctx_.get(), -1);
        }
        std::string value = duk_safe_to_string(ctx_.get(), -1);
        duk_pop(ctx_.get());
        return value;
    }
    // external.gbIsAdContent(url), called as a page would.
    bool AskPage(const char* url) {
        duk_context* ctx = ctx_.get();
        duk_get_global_string(ctx, "external");
        duk_push_string(ctx, "gbIsAdContent");
        duk_push_string(ctx, url);
        EXPECT_EQ(duk_pcall_prop(ctx, -3, 1), 0) << duk_safe_to_string(ctx, -1);
        const bool answer = duk_is_boolean(ctx, -1) && duk_get_boolean(ctx, -1);
        duk_pop_2(ctx);
        return answer;
    }

    std::unique_ptr<duk_context, DukDeleter> ctx_{duk_create_heap_default()};
};

TEST_F(AdScriptTest, RemovesAdvertisingElementsAndKeepsTheRest) {
    EXPECT_EQ(Eval("elements.map(function (e) {"
                   " return e.tag + ' ' + (e.src || e.movie || e.data || ''); }).join('|')"),
              "<AD> |<AD> |img http://site.example/logo.gif|<AD> |img |<AD> |"
              "embed https://site.example/ads/x.swf|<AD> |<AD> |object |"
              "img http://site.example/Ad/x.gif");
}

TEST_F(AdScriptTest, PageAnswersAsTheProgramDoes) {
    for (const auto& c : kUrls) {
        EXPECT_EQ(AskPage(c.url), c.ad) << c.url;
    }
    EXPECT_EQ(Eval("[external.gbIsAdContent(), external.gbIsAdContent(42),"
                   " external.gbIsAdContent(null)].join()"),
              "false,false,false");
}

}  // namespace
