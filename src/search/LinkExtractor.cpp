#include "LinkExtractor.h"

#include "ByteLanes.h"

#include <array>
#include <bit>
#include <cstring>
#include <initializer_list>

namespace {

// Where the link starts inside a marker match: the "h" of its "http".
constexpr int64_t kLinkOffset = 8;

// The bytes that end a link.
constexpr std::string_view kTerminators = "> &;'";

struct TerminatorClass {
    std::array<bool, 256> t{};
    constexpr TerminatorClass()
    {
        for (unsigned char c : kTerminators)
            t[c] = true;
    }
};
constexpr TerminatorClass kTerminator;

// Where the link that starts at begin ends: at the first terminator, or at
// the end of the text. Sixteen bytes at a time, since links are long.
int64_t linkEnd(std::string_view text, int64_t begin)
{
    const unsigned char* base = reinterpret_cast<const unsigned char*>(text.data());
    const int64_t len = static_cast<int64_t>(text.size());
    int64_t p = begin;
    for (; p + kByteLanes <= len; p += kByteLanes) {
        const TByteLanes v = LoadLanes(base + p);
        TLaneFlags ends{};
        for (unsigned char c : kTerminators)
            ends |= v == SplatLanes(c);
        if (const uint32_t hit = LaneMask(ends))
            return p + std::countr_zero(hit);
    }
    while (p < len && !kTerminator.t[base[p]])
        ++p;
    return p;
}

// Whether a "." in the link is followed by one of the three-byte texts
// (".htm" covers ".html"): one pass over the link's dots, whatever the
// number of texts.
bool dotFollowedBy(const std::string_view& link, std::initializer_list<const char*> texts)
{
    const char* p = link.data();
    const char* const end = p + link.size();
    while (end - p > 3) {
        const void* dot = std::memchr(p, '.', static_cast<size_t>(end - p - 3));
        if (!dot)
            return false;
        p = static_cast<const char*>(dot) + 1;
        for (const char* text : texts)
            if (p[0] == text[0] && p[1] == text[1] && p[2] == text[2])
                return true;
    }
    return false;
}

bool keepLink(const std::string_view& link, const std::string& own, bool plainTextOnly)
{
    if (!own.empty() && link.find(own) != std::string_view::npos)
        return false;
    if (plainTextOnly)
        return dotFollowedBy(link, {"htm", "txt"});
    return !dotFollowedBy(link, {"pdf", "PDF", "doc", "DOC"});
}

} // namespace

const std::string& LinkMarker(TEngine engine) { return EngineMarkers(engine).link; }

const std::string& OwnDomainMarker(TEngine engine) { return EngineMarkers(engine).ownDomain; }

bool KeepLink(const std::string_view& link, TEngine engine, bool plainTextOnly)
{
    return keepLink(link, OwnDomainMarker(engine), plainTextOnly);
}

int ExtractLinks(TPageBuffer& page, TEngine engine, bool plainTextOnly,
                 const std::function<void(std::string_view)>& accept)
{
    const std::string& marker = LinkMarker(engine);
    if (marker.empty())
        return 0;
    const std::string& own = OwnDomainMarker(engine);
    const std::string_view text = page.Text();

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
        const int64_t end = linkEnd(text, begin);
        const std::string_view link(text.data() + begin, static_cast<size_t>(end - begin));
        if (keepLink(link, own, plainTextOnly)) {
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
