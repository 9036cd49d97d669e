// robots.txt read for one product token: the protocol's own examples, group
// merging, longest match, the special characters, percent-encoding, the
// parse limit and Crawl-delay.
#include "Robots.h"

#include <gtest/gtest.h>

namespace {

// The protocol's example file.
const char* const kExample = "User-Agent: *\n"
                             "Disallow: *.gif$\n"
                             "Disallow: /example/\n"
                             "Allow: /publications/\n"
                             "\n"
                             "User-Agent: foobot\n"
                             "Disallow:/\n"
                             "Allow:/example/page.html\n"
                             "Allow:/example/allowed.gif\n"
                             "\n"
                             "User-Agent: barbot\n"
                             "User-Agent: bazbot\n"
                             "Disallow: /example/page.html\n"
                             "\n"
                             "User-Agent: quxbot\n"
                             "\n"
                             "EOF\n";

} // namespace

TEST(Robots, RulesDecideEachPathAsTheProtocolSays)
{
    struct Row {
        const char* what;
        std::string text;
        const char* token;
        const char* path;
        bool allowed;
    };
    const std::string merged = "user-agent: ExampleBot\ndisallow: /foo\ndisallow: /bar\n\n"
                               "user-agent: ExampleBot\ndisallow: /baz\n";
    const std::string longest = "User-Agent: foobot\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
    const Row rows[] = {
        {"own group: allowed page", kExample, "foobot", "/example/page.html", true},
        {"own group: allowed gif", kExample, "foobot", "/example/allowed.gif", true},
        {"own group: everything else refused", kExample, "foobot", "/publications/x.html", false},
        {"robots.txt itself is always allowed", kExample, "foobot", "/robots.txt", true},
        {"token matched without regard to case", kExample, "FooBot", "/other", false},
        {"two agents share a group", kExample, "bazbot", "/example/page.html", false},
        {"a named group replaces the * group", kExample, "barbot", "/example/other.html", true},
        {"an empty group allows everything", kExample, "quxbot", "/example/x.gif", true},
        {"unnamed: * group, *.gif$", kExample, "Corvina", "/pictures/a.gif", false},
        {"unnamed: $ anchors the end", kExample, "Corvina", "/pictures/a.gif?size=2", true},
        {"unnamed: disallowed folder", kExample, "Corvina", "/example/", false},
        {"unnamed: allowed folder", kExample, "Corvina", "/publications/list", true},
        {"unnamed: no rule matches", kExample, "Corvina", "/", true},
        {"groups of one token merge (first)", merged, "examplebot", "/foo/x", false},
        {"groups of one token merge (second)", merged, "examplebot", "/baz", false},
        {"groups of one token merge (elsewhere)", merged, "examplebot", "/qux", true},
        {"longest match: allow", longest, "foobot", "/example/page/", true},
        {"longest match: disallow", longest, "foobot", "/example/page/disallowed.gif", false},
        {"allow wins a tie", "User-agent: *\nDisallow: /page\nAllow: /page\n", "x", "/page", true},
        {"allow wins a tie either way round", "User-agent: *\nAllow: /page\nDisallow: /page\n", "x", "/page", true},
        {"* inside a pattern", "User-agent: *\nDisallow: /this/*/exactly\n", "x", "/this/a/b/exactly/too", false},
        {"$ pattern: exact path", "User-agent: *\nDisallow: /this/path/exactly$\n", "x", "/this/path/exactly", false},
        {"$ pattern: longer path", "User-agent: *\nDisallow: /this/path/exactly$\n", "x", "/this/path/exactly/", true},
        {"comments are cut", "User-agent: * # all\nDisallow: /x # not /y\n# Disallow: /y\n", "x", "/y", true},
        {"comment after the path", "User-agent: * # all\nDisallow: /x # not /y\n", "x", "/x", false},
        {"an empty disallow allows", "User-agent: *\nDisallow:\n", "x", "/a", true},
        {"rules before any group are ignored", "Disallow: /\nUser-agent: other\nDisallow: /\n", "x", "/a", true},
        {"a product token with a version", "User-agent: Corvina/1.3\nDisallow: /\n", "corvina", "/a", false},
        {"a longer token is another crawler", "User-agent: CorvinaBot\nDisallow: /\n", "Corvina", "/a", true},
        {"keys in any case, CR line ends", "USER-AGENT: *\rDISALLOW: /a\r", "x", "/a/b", false},
        {"the path includes the query", "User-agent: *\nDisallow: /*?print=\n", "x", "/page?print=1", false},
        {"raw UTF-8 in a pattern", "User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84\n", "x", "/foo/bar/%E3%83%84", false},
        {"encoded UTF-8 in a pattern", "User-agent: *\nDisallow: /foo/bar/%e3%83%84\n", "x", "/foo/bar/\xE3\x83\x84",
         false},
        {"unreserved escapes are decoded", "User-agent: *\nDisallow: /foo/bar/%62%61%7A\n", "x", "/foo/bar/baz", false},
        {"reserved escapes stay", "User-agent: *\nDisallow: /a%2Fb\n", "x", "/a/b", true},
        {"%2A matches a literal *", "User-agent: *\nDisallow: /path/file-with-a-%2A.html\n", "x",
         "/path/file-with-a-*.html", false},
        {"%24 matches a literal $", "User-agent: *\nDisallow: /path/foo-%24\n", "x", "/path/foo-$", false},
        {"no groups at all", "Sitemap: http://x.example/map.xml\n", "x", "/a", true},
    };
    for (const Row& r : rows) {
        const TRobotsRules rules = TRobotsRules::Parse(r.text, r.token);
        EXPECT_EQ(rules.Allowed(r.path), r.allowed) << r.what;
    }
}

TEST(Robots, EmptyRulesAllowAndRefuseAllRefusesEverything)
{
    EXPECT_TRUE(TRobotsRules().Allowed("/anything?x"));
    EXPECT_TRUE(TRobotsRules().Allowed(""));
    EXPECT_FALSE(TRobotsRules::DisallowAll().Allowed("/robots.txt"));
    EXPECT_FALSE(TRobotsRules::DisallowAll().Allowed("/"));
}

// What lies beyond 500 KiB is not read; a line cut by the limit goes too.
TEST(Robots, ParsingStopsAtTheLimit)
{
    std::string text = "User-agent: *\nDisallow: /early\n";
    text += "# " + std::string(kRobotsParseLimit - text.size() - 8, 'x') + "\n";
    text += "Disallow: /late\n";
    ASSERT_GT(text.size(), kRobotsParseLimit);
    const TRobotsRules rules = TRobotsRules::Parse(text, "Corvina");
    EXPECT_FALSE(rules.Allowed("/early"));
    EXPECT_TRUE(rules.Allowed("/late"));
}

TEST(Robots, CrawlDelayOfTheGroupUsed)
{
    struct Row {
        const char* text;
        double delay;
    };
    const Row rows[] = {
        {"User-agent: *\nCrawl-delay: 5\n", 5},
        {"User-agent: *\nCrawl-delay: 2.5\nDisallow: /x\n", 2.5},
        {"User-agent: *\nCrawl-delay: 5\n\nUser-agent: corvina\nDisallow: /x\n", -1},
        {"User-agent: corvina\nCrawl-delay: 3\n\nUser-agent: corvina\nCrawl-delay: 7\n", 7},
        {"User-agent: *\nCrawl-delay: soon\n", -1},
        {"User-agent: *\nCrawl-delay: -4\n", -1},
        {"User-agent: *\n", -1},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TRobotsRules::Parse(r.text, "Corvina").CrawlDelay(), r.delay) << r.text;
}
