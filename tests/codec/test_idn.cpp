#include "Idn.h"

#include <gtest/gtest.h>

TEST(Idn, HostNamesAndUrlsInAsciiForm)
{
    const struct {
        std::string host, ace;
    } hosts[] = {
        {"caff\xC3\xA8-1.example.org", "xn--caff-1-6ua.example.org"},
        {"CAFF\xC3\x88.Example.ORG", "xn--caff-8oa.example.org"}, // upper case folded
        {"b\xC3\xBC" "cher.de", "xn--bcher-kva.de"},
        {"Example.ORG", "example.org"},  // ASCII: only lower-cased
        {"ex%61mple.org", "ex%61mple.org"},
        {"", ""},
        {"caff\xE8.example.org", ""},    // Latin-1, not UTF-8
        {"\xC3", ""},                    // cut-off sequence
    };
    for (const auto& h : hosts)
        EXPECT_EQ(HostToAce(h.host), h.ace) << h.host;

    const struct {
        std::string url, ace;
    } urls[] = {
        {"http://caff\xC3\xA8.it/caff\xC3\xA8", "http://xn--caff-8oa.it/caff\xC3\xA8"},
        {"http://caff\xC3\xA8.it:81", "http://xn--caff-8oa.it:81"},
        {"caff\xC3\xA8.it/a", "xn--caff-8oa.it/a"},
        {"HTTP://Example.ORG/A", "HTTP://Example.ORG/A"},  // ASCII hosts unchanged
        {"/caff\xC3\xA8", "/caff\xC3\xA8"},                  // a path alone
        {"http://caff\xE8.it/", "http://caff\xE8.it/"},     // no ASCII form: as it was
        {"", ""},
    };
    for (const auto& u : urls)
        EXPECT_EQ(UrlWithAceHost(u.url), u.ace) << u.url;
}
