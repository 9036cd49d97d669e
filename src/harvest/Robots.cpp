#include "Robots.h"
#include "Nmurl.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i]))
            return false;
    return true;
}

bool unreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void appendEscape(std::string& out, unsigned char c)
{
    static const char digits[] = "0123456789ABCDEF";
    out += '%';
    out += digits[c >> 4];
    out += digits[c & 15];
}

// The product token a user-agent value names: its leading letters,
// underscores and hyphens ("ExampleBot/1.1" names "ExampleBot").
std::string_view productToken(std::string_view value)
{
    size_t n = 0;
    while (n < value.size()) {
        const char c = value[n];
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-'))
            break;
        ++n;
    }
    return value.substr(0, n);
}

struct Group {
    std::vector<std::string> agents;
    std::vector<TRobotsRule> rules;
    double crawlDelay = -1;
};

} // namespace

std::string RobotsNormalise(std::string_view text, bool pattern)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '%' && i + 2 < text.size() && HexDigitValue(text[i + 1]) >= 0 && HexDigitValue(text[i + 2]) >= 0) {
            const auto v = static_cast<unsigned char>(HexDigitValue(text[i + 1]) * 16 + HexDigitValue(text[i + 2]));
            if (unreserved(v))
                out += static_cast<char>(v);
            else
                appendEscape(out, v);
            i += 2;
        } else if (c == '%' || c >= 0x80 || c <= 0x20 || c == 0x7F || (!pattern && (c == '*' || c == '$'))) {
            // A "%" that starts no escape stands for itself.
            appendEscape(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool RobotsPatternMatches(std::string_view pattern, std::string_view path)
{
    bool anchored = false;
    if (!pattern.empty() && pattern.back() == '$') {
        anchored = true;
        pattern.remove_suffix(1);
    }
    // The positions in path that the pattern read so far can end at, in
    // increasing order.
    std::vector<size_t> ends{0}, next;
    char previous = 0;
    for (char p : pattern) {
        if (p == '*' && previous == '*')
            continue; // "**" matches what "*" does
        previous = p;
        next.clear();
        if (p == '*') {
            for (size_t i = ends.front(); i <= path.size(); ++i)
                next.push_back(i);
        } else {
            for (size_t i : ends)
                if (i < path.size() && path[i] == p)
                    next.push_back(i + 1);
        }
        if (next.empty())
            return false;
        ends.swap(next);
    }
    return !anchored || ends.back() == path.size();
}

TRobotsRules TRobotsRules::DisallowAll()
{
    TRobotsRules r;
    r.refuseAll_ = true;
    return r;
}

TRobotsRules TRobotsRules::Parse(std::string_view text, std::string_view token)
{
    if (text.size() > kRobotsParseLimit) {
        // A line cut by the limit is dropped with the rest.
        text = text.substr(0, kRobotsParseLimit);
        const size_t end = text.find_last_of("\r\n");
        text = text.substr(0, end == std::string_view::npos ? 0 : end);
    }
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);

    std::vector<Group> groups;
    bool inRules = false; // the last group line read was a rule
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        line = line.substr(0, line.find('#'));
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos)
            continue;
        const std::string_view key = trimmed(line.substr(0, colon));
        const std::string_view value = trimmed(line.substr(colon + 1));
        if (equalsNoCase(key, "user-agent")) {
            if (groups.empty() || inRules)
                groups.emplace_back();
            groups.back().agents.emplace_back(value);
            inRules = false;
        } else if (equalsNoCase(key, "allow") || equalsNoCase(key, "disallow")) {
            if (groups.empty())
                continue; // rules before any user-agent line belong to no group
            inRules = true;
            if (!value.empty())
                groups.back().rules.push_back({equalsNoCase(key, "allow"), RobotsNormalise(value, true)});
        } else if (equalsNoCase(key, "crawl-delay")) {
            if (groups.empty())
                continue;
            inRules = true;
            const std::string number(value);
            char* stop = nullptr;
            const double seconds = std::strtod(number.c_str(), &stop);
            if (!number.empty() && stop && *stop == '\0' && std::isfinite(seconds) && seconds >= 0)
                groups.back().crawlDelay = std::max(groups.back().crawlDelay, seconds);
        }
        // Other lines (sitemap and the like) neither start nor end a group.
    }

    TRobotsRules result;
    const auto gather = [&](bool star) {
        bool any = false;
        for (const Group& g : groups) {
            const bool named = std::any_of(g.agents.begin(), g.agents.end(), [&](const std::string& a) {
                return star ? a == "*" : (!token.empty() && equalsNoCase(productToken(a), token));
            });
            if (!named)
                continue;
            any = true;
            result.rules_.insert(result.rules_.end(), g.rules.begin(), g.rules.end());
            result.crawlDelay_ = std::max(result.crawlDelay_, g.crawlDelay);
        }
        return any;
    };
    if (!gather(false))
        gather(true);
    return result;
}

bool TRobotsRules::Allowed(std::string_view pathAndQuery) const
{
    if (refuseAll_)
        return false;
    const std::string path = RobotsNormalise(pathAndQuery.empty() ? std::string_view("/") : pathAndQuery, false);
    if (path == "/robots.txt")
        return true;
    bool allowed = true;
    size_t best = 0;
    bool matched = false;
    for (const TRobotsRule& r : rules_) {
        if (!RobotsPatternMatches(r.pattern, path))
            continue;
        const size_t length = r.pattern.size();
        if (!matched || length > best || (length == best && r.allow)) {
            allowed = r.allow;
            best = length;
            matched = true;
        }
    }
    return allowed;
}
