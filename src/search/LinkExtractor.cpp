#include "LinkExtractor.h"

#include <array>

namespace {

// Where the link starts inside a marker match: the "h" of its "http".
constexpr int64_t kLinkOffset = 8;

struct TerminatorClass {
    std::array<bool, 256> t{};
    constexpr TerminatorClass()
    {
        for (unsigned char c : std::string_view("> &;'"))
            t[c] = true;
    }
};
constexpr TerminatorClass kTerminator;

bool holds(const std::string_view& link, const char* what) { return link.find(what) != std::string_view::npos; }

} // namespace

const std::string& LinkMarker(TEngine engine) { return EngineMarkers(engine).link; }

const std::string& OwnDomainMarker(TEngine engine) { return EngineMarkers(engine).ownDomain; }

bool KeepLink(const std::string_view& link, TEngine engine, bool plainTextOnly)
{
    const std::string& own = OwnDomainMarker(engine);
    if (!own.empty() && link.find(own) != std::string_view::npos)
        return false;
    if (plainTextOnly)
        return holds(link, ".html") || holds(link, ".htm") || holds(link, ".txt");
    return !(holds(link, ".pdf") || holds(link, ".PDF") || holds(link, ".doc") || holds(link, ".DOC"));
}

int ExtractLinks(TPageBuffer& page, TEngine engine, bool plainTextOnly,
                 const std::function<void(std::string_view)>& accept)
{
    const std::string& marker = LinkMarker(engine);
    if (marker.empty())
        return 0;
    const std::string& text = page.Text();
    const int64_t len = page.Length();
    const auto& term = kTerminator.t;

    // Every run starts at the top of the page.
    page.Select(0, 0);
    int kept = 0;
    for (;;) {
        const int64_t from = page.SelLength() != 0 ? page.SelStart() + page.SelLength() : 0;
        const int64_t m = page.FindText(marker, from);
        if (m < 0)
            break;
        page.Select(m, static_cast<int64_t>(marker.size()));

        const int64_t begin = m + kLinkOffset;
        int64_t end = begin;
        while (end < len && !term[static_cast<unsigned char>(text[static_cast<size_t>(end)])])
            ++end;
        const std::string_view link(text.data() + begin, static_cast<size_t>(end - begin));
        if (KeepLink(link, engine, plainTextOnly)) {
            accept(link);
            ++kept;
        }
    }
    return kept;
}

int ExtractLinks(TPageBuffer& page, TEngine engine, bool plainTextOnly, TCheckListModel& sites)
{
    ExtractLinks(page, engine, plainTextOnly, [&sites](std::string_view link) { sites.Add(std::string(link)); });
    return sites.Count();
}

int RemoveDuplicates(TCheckListModel& list) { return list.RemoveAdjacentDuplicates(); }
