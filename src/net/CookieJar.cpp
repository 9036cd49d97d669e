#include "CookieJar.h"

#include <algorithm>
#include <array>

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string trimmed(const std::string& s)
{
    const size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// An address rather than a name: its "domains" are not domains.
bool isAddress(const std::string& host)
{
    return host.find(':') != std::string::npos || host.find_first_not_of("0123456789.") == std::string::npos;
}

// host is domain or a name inside it.
bool domainMatches(const std::string& host, const std::string& domain)
{
    return host == domain || (!isAddress(host) && endsWith(host, "." + domain));
}

// A domain under which unrelated sites live: a single label ("com", "it"),
// or a country code under one of the usual shared second levels ("co.uk",
// "com.au", "ac.jp").
bool isSharedSuffix(const std::string& domain)
{
    const size_t lastDot = domain.rfind('.');
    if (lastDot == std::string::npos || lastDot == 0 || lastDot + 1 == domain.size())
        return true; // one label, or an empty one
    const size_t secondDot = domain.rfind('.', lastDot - 1);
    if (domain.size() - lastDot - 1 != 2 || secondDot != std::string::npos)
        return false; // not a country code, or three labels or more
    static const std::array<const char*, 14> shared = {"co", "com", "net", "org", "gov", "gob", "edu",
                                                       "ac", "or",  "ne",  "go",  "mil", "nic", "ltd"};
    const std::string second = domain.substr(0, lastDot);
    return std::any_of(shared.begin(), shared.end(), [&](const char* s) { return second == s; });
}

} // namespace

bool TCookieJar::Store(const std::string& host, const std::string& setCookie)
{
    const std::string setter = lower(host);
    if (setter.empty())
        return false;
    const size_t semicolon = setCookie.find(';');
    const std::string pair = trimmed(setCookie.substr(0, semicolon));
    const size_t equals = pair.find('=');
    if (equals == std::string::npos || trimmed(pair.substr(0, equals)).empty())
        return false;

    Entry entry{setter, true, trimmed(pair.substr(0, equals)), pair};
    size_t at = semicolon;
    while (at != std::string::npos) {
        const size_t next = setCookie.find(';', at + 1);
        const std::string attribute = setCookie.substr(at + 1, next == std::string::npos ? next : next - at - 1);
        at = next;
        const size_t eq = attribute.find('=');
        if (eq == std::string::npos || lower(trimmed(attribute.substr(0, eq))) != "domain")
            continue;
        std::string domain = lower(trimmed(attribute.substr(eq + 1)));
        if (!domain.empty() && domain[0] == '.')
            domain.erase(0, 1);
        // An empty Domain is as none; an address, or a shared suffix that is
        // the setting host's own name, keeps the cookie with that host only.
        if (domain.empty() || (domain == setter && (isAddress(setter) || isSharedSuffix(domain)))) {
            entry.domain = setter;
            entry.hostOnly = true;
            continue;
        }
        if (!domainMatches(setter, domain) || isSharedSuffix(domain))
            return false;
        entry.domain = domain;
        entry.hostOnly = false;
    }

    const auto same = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) {
        return e.name == entry.name && e.domain == entry.domain && e.hostOnly == entry.hostOnly;
    });
    if (same != entries_.end()) {
        same->pair = entry.pair;
        return true;
    }
    if (entries_.size() >= kMaxCookies)
        entries_.erase(entries_.begin());
    entries_.push_back(std::move(entry));
    return true;
}

std::string TCookieJar::For(const std::string& host) const
{
    const std::string target = lower(host);
    std::string out;
    for (const Entry& e : entries_) {
        if (e.hostOnly ? target != e.domain : !domainMatches(target, e.domain))
            continue;
        if (!out.empty())
            out += "; ";
        out += e.pair;
    }
    return out;
}
