#include "AddressScanner.h"

#include <array>
#include <cstring>

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
    const std::string& text = page.Text();
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
        if (n >= 5 && std::memchr(s + begin, '.', n)) {
            accept(std::string_view(text.data() + begin, n));
            ++accepted;
        }
    }
    return accepted;
}

int ScanAddresses(TPageBuffer& page, TCheckListModel& results)
{
    ScanAddresses(page, [&results](std::string_view address) { results.Add(std::string(address)); });
    return results.Count();
}

std::string CleanAddressText(const std::string& text)
{
    const size_t pct = text.find('%');
    if (pct == std::string::npos)
        return text;
    size_t q = pct; // counted from 0 here
    auto at = [&text](size_t k) -> char { return k < text.size() ? text[k] : '\0'; };
    if (at(q + 1) == '2') {
        ++q;
        const char d = at(q + 1);
        if (d >= '0' && d <= '9')
            q += 2;
    }
    return q < text.size() ? text.substr(q) : std::string();
}

void CleanAddress(TCheckListModel& results, int index)
{
    const std::string& text = results.Text(index);
    if (text.find('%') == std::string::npos)
        return;
    results.SetText(index, CleanAddressText(text));
}

void CleanAllAddresses(TCheckListModel& results)
{
    for (int i = 0; i < results.Count(); ++i)
        CleanAddress(results, i);
}
