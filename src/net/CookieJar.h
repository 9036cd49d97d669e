// The cookies servers set, each kept with the host that set it.
//
// A cookie goes back only to the host that set it, or, when its Domain
// attribute names a domain that host belongs to, to the hosts of that
// domain. A Domain that the setting host is not in, a top-level domain
// ("com") or a country's shared second level ("co.uk", "com.au") is refused,
// so that a site the harvest visits cannot have a cookie sent to any other
// site, nor to the search engines. Ports do not separate cookies, paths are
// not kept apart and expiry dates are ignored: the jar lives as long as the
// client.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

class TCookieJar {
public:
    // Keeps the cookie of one Set-Cookie value ("name=value; Domain=...;
    // Path=/") received from host, replacing one of the same name and
    // scope. Returns false, keeping nothing, when the value holds no
    // name=value or its Domain is refused (above).
    bool Store(const std::string& host, const std::string& setCookie);
    // The value of the Cookie line for a request to host: the name=value
    // pairs that apply, oldest first, joined by "; "; empty when none.
    std::string For(const std::string& host) const;
    void Clear() { entries_.clear(); }
    size_t Count() const { return entries_.size(); }

    // The oldest cookie goes when a new one would exceed this many.
    static constexpr size_t kMaxCookies = 300;

private:
    struct Entry {
        std::string domain; // the setting host, or the Domain attribute
        bool hostOnly = true;
        std::string name;
        std::string pair; // name=value as received
    };
    std::vector<Entry> entries_;
};
