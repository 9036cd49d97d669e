// robots.txt: the rules a site publishes for crawlers, read for one product
// token, and the test of a path against them.
//
//   TRobotsRules rules = TRobotsRules::Parse(body, "Corvina");
//   if (!rules.Allowed("/private/page.html?x=1")) skip();
//   rules.CrawlDelay();   // seconds asked between requests, -1 for none
//
// Groups start with one or more user-agent lines; every group naming the
// token (without regard to case) is merged, and when none does, the groups
// for "*" are used instead. Among the allow and disallow rules whose pattern
// matches, the longest pattern wins and allow wins a tie; no match allows.
// "*" in a pattern matches any run of bytes and a "$" at its end anchors it.
// Patterns and paths are compared percent-encoded the same way: bytes outside
// US-ASCII (and blanks, controls and a "%" that starts no escape) are
// encoded, escapes of unreserved characters decoded, hex digits upper-cased.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// How much of a robots.txt body is read; the rest is ignored.
inline constexpr size_t kRobotsParseLimit = 500 * 1024;

struct TRobotsRule {
    bool allow = false;
    std::string pattern; // normalised
};

class TRobotsRules {
public:
    // Everything allowed (no rules): also what a missing robots.txt means.
    TRobotsRules() = default;
    // Everything refused, robots.txt included.
    static TRobotsRules DisallowAll();
    static TRobotsRules Parse(std::string_view text, std::string_view productToken);

    // pathAndQuery as sent in the request line ("/" for an empty path); a
    // fragment must be cut off first.
    bool Allowed(std::string_view pathAndQuery) const;
    // The Crawl-delay of the group used, in seconds; -1 when none is given.
    double CrawlDelay() const { return crawlDelay_; }
    const std::vector<TRobotsRule>& Rules() const { return rules_; }

private:
    std::vector<TRobotsRule> rules_;
    double crawlDelay_ = -1;
    bool refuseAll_ = false;
};

// The form in which paths and patterns are compared (see above). In a pattern
// "*" and "$" keep their meaning; in a path they are encoded, so that a
// pattern's "%2A" and "%24" match them.
std::string RobotsNormalise(std::string_view text, bool pattern);
// Whether the normalised pattern matches the start of the normalised path,
// with "*" and a final "$".
bool RobotsPatternMatches(std::string_view pattern, std::string_view path);
