// robots.txt read for our product token. No input breaks the reader; rules
// that say nothing allow every path and robots.txt itself is always allowed;
// a group of ours holding "Disallow: /" refuses every path that no allow rule
// matches; normalising a path or a pattern twice changes nothing more.
#include "FuzzCheck.h"
#include "Robots.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    const TRobotsRules rules = TRobotsRules::Parse(bytes, "Corvina");
    // A path made of the input's own bytes.
    const size_t from = size > 0 ? data[0] % size : 0;
    const std::string path = "/" + bytes.substr(from, 64);
    const std::string normalPath = RobotsNormalise(path, false);

    if (rules.Rules().empty())
        FUZZ_CHECK(rules.Allowed(path));
    FUZZ_CHECK(rules.Allowed("/robots.txt"));
    for (bool pattern : {false, true}) {
        const std::string once = RobotsNormalise(bytes, pattern);
        FUZZ_CHECK(RobotsNormalise(once, pattern) == once);
    }
    for (const TRobotsRule& r : rules.Rules())
        FUZZ_CHECK(!r.pattern.empty());

    if (size < kRobotsParseLimit / 2) {
        const TRobotsRules refusing = TRobotsRules::Parse(bytes + "\nUser-agent: Corvina\nDisallow: /\n", "Corvina");
        const bool allowMatches =
            std::any_of(refusing.Rules().begin(), refusing.Rules().end(), [&](const TRobotsRule& r) {
                return r.allow && RobotsPatternMatches(r.pattern, normalPath);
            });
        if (!allowMatches && normalPath != "/robots.txt")
            FUZZ_CHECK(!refusing.Allowed(path));
    }
    return 0;
}
