// The link extractor and the duplicate pass. The first byte picks the engine
// and the plain-text filter; the rest is the page. Every link kept is a piece
// of the page that the filter keeps and that holds none of the bytes that end
// a link and that ends at the first such byte or at the end of the page; the
// list gets them all; after the duplicate pass no two neighbours are equal
// and every distinct link is still there. The filter agrees with the same
// filter written the plain way, on every piece of the page.
#include "LinkExtractor.h"
#include "FuzzCheck.h"

#include <set>

namespace {

bool plainKeep(std::string_view link, TEngine engine, bool plainText)
{
    auto holds = [link](const char* what) { return link.find(what) != std::string_view::npos; };
    const std::string& own = OwnDomainMarker(engine);
    if (!own.empty() && holds(own.c_str()))
        return false;
    if (plainText)
        return holds(".html") || holds(".htm") || holds(".txt");
    return !(holds(".pdf") || holds(".PDF") || holds(".doc") || holds(".DOC"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const TEngine engines[] = {TEngine::Google, TEngine::AltaVista, TEngine::None};
    const TEngine engine = engines[data[0] % 3];
    const bool plainText = (data[0] & 4) != 0;
    const std::string bytes = FuzzBytes(data + 1, size - 1);

    TPageBuffer page;
    page.SetText(bytes);
    const std::string_view text = page.Text();
    std::vector<std::string> links;
    ExtractLinks(page, engine, plainText, [&](std::string_view link) {
        const char* end = link.data() + link.size();
        FUZZ_CHECK(link.data() >= text.data() && end <= text.data() + text.size());
        FUZZ_CHECK(link.find_first_of("> &;'") == std::string_view::npos);
        FUZZ_CHECK(end == text.data() + text.size() || std::string_view("> &;'").find(*end) != std::string_view::npos);
        FUZZ_CHECK(KeepLink(link, engine, plainText));
        links.emplace_back(link);
    });
    if (engine == TEngine::None)
        FUZZ_CHECK(links.empty());
    for (size_t at = 0; at < bytes.size(); ++at) {
        const std::string_view piece = std::string_view(bytes).substr(at, 80);
        FUZZ_CHECK(KeepLink(piece, engine, plainText) == plainKeep(piece, engine, plainText));
    }

    TPageBuffer again;
    again.SetText(bytes);
    TCheckListModel sites;
    FUZZ_CHECK(ExtractLinks(again, engine, plainText, sites) == static_cast<int>(links.size()));
    const int before = sites.Count();
    const int removed = RemoveDuplicates(sites);
    FUZZ_CHECK(sites.Count() == before - removed);
    std::set<std::string> distinct(links.begin(), links.end());
    std::set<std::string> kept;
    for (int i = 0; i < sites.Count(); ++i) {
        if (i > 0)
            FUZZ_CHECK(sites.Text(i) != sites.Text(i - 1));
        kept.insert(sites.Text(i));
    }
    FUZZ_CHECK(kept == distinct);
    return 0;
}
