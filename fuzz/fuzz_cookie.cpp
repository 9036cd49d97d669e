// The cookie jar. Input: the setting host, a line feed, the Set-Cookie
// value. A cookie kept goes back to the setting host, and to no host
// outside the setting host's own name and the names under it, except a
// domain it names that the setting host is in; never to an unrelated host,
// never to a top-level domain.
#include "CookieJar.h"
#include "FuzzCheck.h"

#include <string>

namespace {

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool endsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    const size_t lf = bytes.find('\n');
    if (lf == std::string::npos)
        return 0;
    const std::string host = bytes.substr(0, lf);
    const std::string value = bytes.substr(lf + 1);
    TCookieJar jar;
    const bool kept = jar.Store(host, value);
    FUZZ_CHECK(jar.Count() == (kept ? 1u : 0u));
    if (!kept)
        return 0;
    const std::string setter = lower(host);
    FUZZ_CHECK(!jar.For(host).empty());
    FUZZ_CHECK(jar.For(setter) == jar.For(host));
    FUZZ_CHECK(jar.For("unrelated.invalid").empty() || endsWith(setter, "unrelated.invalid"));
    FUZZ_CHECK(jar.For("com").empty() || setter == "com");
    FUZZ_CHECK(jar.For("co.uk").empty() || setter == "co.uk");
    // What is sent is the name=value before the attributes.
    FUZZ_CHECK(jar.For(host).find(';') == std::string::npos);
    // Storing it again replaces it.
    FUZZ_CHECK(jar.Store(host, value) && jar.Count() == 1);
    return 0;
}
