#include "AddressScanner.h"

#include "AddressDomain.h"

#include <QCoreApplication>

#include <array>
#include <string_view>
#include <unordered_map>
#include <algorithm>
#include <cstring>
#include <unordered_set>
#include <vector>

namespace {

struct AddressClass {
    std::array<bool, 256> t{};
    constexpr AddressClass()
    {
        for (int c = 0x20; c <= 0x7E; ++c)
            t[static_cast<size_t>(c)] = true;
        for (unsigned char c : std::string_view(";, :<>=#@\"()[]?'\\/&"))
            t[c] = false;
    }
};
constexpr AddressClass kAddressClass;

} // namespace

bool IsAddressChar(unsigned char c) { return kAddressClass.t[c]; }

int ScanAddresses(TPageBuffer& page, const std::function<void(std::string_view)>& accept)
{
    const std::string_view text = page.Text();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data());
    const int64_t len = page.Length();
    const auto& cls = kAddressClass.t;

    int64_t from = page.SelLength() != 0 ? page.SelStart() + page.SelLength() : 0;
    int accepted = 0;
    for (;;) {
        const int64_t p = page.FindText("@", from);
        if (p < 0)
            break;
        // The sign found becomes the selection: the next search starts after it.
        page.Select(p, 1);
        from = p + 1;

        int64_t end = p + 1;
        while (end < len && cls[s[end]])
            ++end;
        int64_t begin = p;
        while (begin > 0 && cls[s[begin - 1]])
            --begin;

        // The "@" itself ends both parts, so the candidate is one contiguous
        // run of the text: local part, "@", domain part.
        const size_t n = static_cast<size_t>(end - begin);
        if (n >= 5 && n <= kMaxAddressLength && std::memchr(s + begin, '.', n)) {
            accept(std::string_view(text.data() + begin, n));
            ++accepted;
        }
    }
    return accepted;
}

int ScanAddresses(TPageBuffer& page, TCheckListModel& results, bool keepAll)
{
    // A page may repeat one address a million times ("a.@a.@a.@..."): each
    // is taken once, so the list never holds more than the page's distinct
    // addresses. The page's finds are gathered first and added together, so
    // a page that runs the memory out leaves the list as it was. The views
    // point into the page, which outlives the run.
    std::vector<std::string_view> found;
    {
        std::unordered_set<std::string_view> taken;
        ScanAddresses(page, [&](std::string_view address) {
            if (taken.count(address) || (!keepAll && !HasPublicDomain(address)))
                return;
            taken.insert(address);
            found.push_back(address);
        });
    }
    for (std::string_view address : found)
        results.Add(std::string(address));
    return results.Count();
}

std::string CleanAddressText(const std::string& text)
{
    const size_t at = text.find('@');
    std::string out = text;
    // A "%" before the "@": everything before it goes, and an escaped blank
    // with it. A "%" in the domain is never a place to cut.
    const size_t pct = text.find('%');
    if (pct != std::string::npos && pct < at) {
        size_t q = pct; // counted from 0 here
        auto charAt = [&text](size_t k) -> char { return k < text.size() ? text[k] : '\0'; };
        if (charAt(q + 1) == '2') {
            ++q;
            const char d = charAt(q + 1);
            if (d >= '0' && d <= '9')
                q += 2;
        }
        out = q < text.size() ? text.substr(q) : std::string();
    }
    // Escapes in the domain ("caff%c3%a8-1.example.org") are decoded.
    const size_t domain = out.find('@');
    if (domain != std::string::npos && out.find('%', domain) != std::string::npos)
        out.replace(domain + 1, std::string::npos, DecodeDomainEscapes(std::string_view(out).substr(domain + 1)));
    return out;
}

void CleanAddress(TCheckListModel& results, int index)
{
    const std::string& text = results.Text(index);
    if (text.find('%') == std::string::npos)
        return;
    results.SetText(index, CleanAddressText(text));
}

void CleanAllAddresses(TCheckListModel& results, bool keepAll)
{
    // A pass over the list finds the entries to clean (those with a "%") and
    // those whose domain is no public one. The verdict is kept per domain,
    // as a list holds many addresses of each: a million addresses cost a
    // pass, not a million suffix look-ups. The pass goes in slices with the
    // event queue serviced between them, so that a window stays live over a
    // large list; when the list changes meanwhile (a handler ran), the pass
    // starts again, and the last try does not yield.
    constexpr int kSlice = 65536;
    constexpr int kTries = 3;
    std::vector<int> toClean, dropped;
    for (int attempt = 1;; ++attempt) {
        toClean.clear();
        dropped.clear();
        // The keys point into the entries: valid while the list is unchanged.
        std::unordered_map<std::string_view, bool> publicDomain;
        bool changed = false;
        QObject watch;
        const auto mark = [&changed] { changed = true; };
        QObject::connect(&results, &QAbstractItemModel::rowsInserted, &watch, mark);
        QObject::connect(&results, &QAbstractItemModel::rowsRemoved, &watch, mark);
        QObject::connect(&results, &QAbstractItemModel::modelReset, &watch, mark);
        QObject::connect(&results, &QAbstractItemModel::dataChanged, &watch, mark);
        const bool yield = attempt < kTries && QCoreApplication::instance();
        for (int from = 0; from < results.Count() && !changed; from += kSlice) {
            results.ForEachText(from, kSlice, [&](int i, const std::string& text) {
                if (text.find('%') != std::string::npos) {
                    toClean.push_back(i);
                    return;
                }
                if (keepAll)
                    return;
                const size_t at = text.find('@');
                if (at == std::string::npos) {
                    dropped.push_back(i);
                    return;
                }
                const std::string_view domain = std::string_view(text).substr(at + 1);
                auto known = publicDomain.find(domain);
                if (known == publicDomain.end())
                    known = publicDomain.emplace(domain, IsPublicDomain(domain)).first;
                if (!known->second)
                    dropped.push_back(i);
            });
            if (yield)
                QCoreApplication::processEvents();
        }
        if (!changed)
            break;
    }
    for (int i : toClean) {
        CleanAddress(results, i);
        if (!keepAll && !HasPublicDomain(results.Text(i)))
            dropped.push_back(i);
    }
    std::sort(dropped.begin(), dropped.end());
    results.DeleteRows(dropped);
}
