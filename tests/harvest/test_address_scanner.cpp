#include "CheckList.h"
#include "PageBuffer.h"
#include "SysUtils.h"
#include "AddressDomain.h"
#include "AddressScanner.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using Texts = std::vector<std::string>;

// The addresses one run finds in a freshly loaded page, in the order found.
Texts scan(const std::string& text)
{
    TPageBuffer page;
    page.SetText(text);
    Texts found;
    ScanAddresses(page, [&found](std::string_view a) { found.emplace_back(a); });
    return found;
}

} // namespace

TEST(AddressScanner, EdgeCasesOfOnePage)
{
    EXPECT_EQ(scan("mailto:Pq.Rs@B.c"), Texts{"Pq.Rs@B.c"});
    EXPECT_EQ(scan("write \"pq@rs.it\" or <pq@rs.it>"), (Texts{"pq@rs.it", "pq@rs.it"}));
    EXPECT_EQ(scan("write to a@b.c."), Texts{"a@b.c."});
    EXPECT_EQ(scan("a@b.c"), Texts{"a@b.c"});
    EXPECT_EQ(scan("a@b. pq@localhost"), Texts{});
    EXPECT_EQ(scan("x @b.cd"), Texts{"@b.cd"});
    EXPECT_EQ(scan("pq.rs@ x"), Texts{"pq.rs@"});
    EXPECT_EQ(scan("a@b@c.d"), Texts{"b@c.d"});
    EXPECT_EQ(scan("pq@rs.it is at the start"), Texts{"pq@rs.it"});
    EXPECT_EQ(scan("j\xF6rg@x.it"), Texts{"rg@x.it"});
    EXPECT_EQ(scan("line\npq@rs.it\tand\r\nab@cd.e"), (Texts{"pq@rs.it", "ab@cd.e"}));
    EXPECT_EQ(scan("pq@rs.it pq@rs.it"), (Texts{"pq@rs.it", "pq@rs.it"}));
    EXPECT_EQ(scan("no sign here."), Texts{});
    EXPECT_EQ(scan(""), Texts{});
    EXPECT_EQ(scan("@"), Texts{});
    EXPECT_EQ(scan("...@"), Texts{}); // 4 characters
    EXPECT_EQ(scan("....@"), Texts{"....@"});
}

TEST(AddressScanner, DelimitersAndAddressCharacters)
{
    // Each of the 19 delimiters ends both parts.
    for (char d : std::string(";, :<>=#\"()[]?'\\/&")) {
        const std::string text = std::string("xx") + d + "pq@rs.it" + d + "yy";
        EXPECT_EQ(scan(text), Texts{"pq@rs.it"}) << "delimiter " << d;
    }
    // Printable characters that are not delimiters belong to the address.
    EXPECT_EQ(scan("a.b-c_d+e%f!g~h|i{j}k@x.y"), Texts{"a.b-c_d+e%f!g~h|i{j}k@x.y"});
    // Control characters, DEL and the upper half end a part.
    for (int c : {0x01, 0x09, 0x0A, 0x0D, 0x1F, 0x7F, 0x80, 0xA0, 0xFF}) {
        const std::string text = std::string("xx") + char(c) + "pq@rs.it" + char(c) + "yy";
        EXPECT_EQ(scan(text), Texts{"pq@rs.it"}) << "byte " << c;
        EXPECT_FALSE(IsAddressChar(static_cast<unsigned char>(c)));
    }
    // A zero byte ends the page text itself.
    EXPECT_EQ(scan(std::string("pq@rs.it\0ab@cd.ef", 17)), Texts{"pq@rs.it"});
}

TEST(AddressScanner, SelectionIsTheCursor)
{
    TPageBuffer page;
    page.SetText("one pq@rs.it two ab@cd.ef three");
    TCheckListModel results;
    EXPECT_EQ(ScanAddresses(page, results, true), 2);
    EXPECT_EQ(results.Texts(), (Texts{"ab@cd.ef", "pq@rs.it"}));
    // The selection stays on the last sign found.
    EXPECT_EQ(page.SelStart(), 19);
    EXPECT_EQ(page.SelLength(), 1);
    // A second run over the same text finds nothing new; the counter value
    // is still the list's count.
    EXPECT_EQ(ScanAddresses(page, results, true), 2);
    EXPECT_EQ(results.Count(), 2);
    EXPECT_EQ(page.SelStart(), 19);

    // The search starts after a non-empty selection, from 0 after an empty
    // one wherever it stands.
    page.Select(10, 2);
    EXPECT_EQ(ScanAddresses(page, results, true), 3);
    EXPECT_EQ(results.Texts(), (Texts{"ab@cd.ef", "ab@cd.ef", "pq@rs.it"}));
    page.SetSelStart(25);
    EXPECT_EQ(ScanAddresses(page, results, true), 5);

    // A page without the sign leaves the selection where it was; reloading
    // a page starts at its top.
    page.SetText("nothing here");
    page.Select(3, 4);
    EXPECT_EQ(ScanAddresses(page, results, true), 5);
    EXPECT_EQ(page.SelStart(), 3);
    EXPECT_EQ(page.SelLength(), 4);
    page.SetText("x@y.zz");
    EXPECT_EQ(ScanAddresses(page, results, true), 6);
    EXPECT_EQ(page.SelStart(), 1);

    // Candidates keep their letter case and are appended without a check
    // for equal entries.
    page.SetText("Pq@Rs.It pq@rs.it");
    TCheckListModel fresh;
    EXPECT_EQ(ScanAddresses(page, fresh, true), 2);
    EXPECT_EQ(fresh.Texts(), (Texts{"Pq@Rs.It", "pq@rs.it"}));
}

TEST(AddressScanner, LongAddressesAndRepeatsOfOnePage)
{
    // 254 bytes are taken, 255 are not.
    const std::string longest = std::string(240, 'x') + "@example.org"; // 252
    EXPECT_EQ(scan("ab" + longest), Texts{"ab" + longest});
    EXPECT_EQ(scan("abc" + longest), Texts{});

    // The harvest's scan adds an address once per page, and with the check
    // on only those whose domain is a public one.
    TPageBuffer page;
    page.SetText("a.@a.@a.@a.@a. info@example.org logo@2x.png Info@example.org info@example.org");
    TCheckListModel all, checked;
    EXPECT_EQ(ScanAddresses(page, all, true), 4);
    EXPECT_EQ(all.Texts(), (Texts{"a.@a.", "Info@example.org", "info@example.org", "logo@2x.png"}));
    page.Select(0, 0);
    EXPECT_EQ(ScanAddresses(page, checked, false), 2);
    EXPECT_EQ(checked.Texts(), (Texts{"Info@example.org", "info@example.org"}));
    // A later page may add an address again: the duplicate pass removes it.
    page.SetText("info@example.org");
    EXPECT_EQ(ScanAddresses(page, checked, false), 3);
}

TEST(AddressScanner, PublicDomains)
{
    const struct {
        const char* address;
        bool ok;
    } rows[] = {
        {"info@example.org", true},
        {"Pq@Foo.CO.UK", true},
        {"x@sub.dept.example.com", true},
        {"a@example.org.", true},                        // a sentence's full stop
        {"info@caff\xC3\xA8-1.example.org", true},        // UTF-8
        {"info@caff%c3%a8-1.example.org", true},         // still escaped
        {"info@xn--caff-1-6ua.example.org", true},
        {"logo@2x.png", false},
        {"icon@3x.webp", false},
        {"a@b.c", false},
        {"pq@s.example", false},                          // no listed suffix
        {"x@co.uk", false},                               // a suffix, no name under it
        {"x@org", false},
        {"pq.rs@", false},
        {"x@ex%61mple.org", false},                       // ASCII escapes stay escaped
        {"x@a..example.org", false},
        {"x@foo|bar.example.org", false},
        {"x@caff\xE8.example.org", false},                // Latin-1
        {"no sign", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(HasPublicDomain(r.address), r.ok) << r.address;

    EXPECT_EQ(DecodeDomainEscapes("caff%C3%a8.it"), "caff\xC3\xA8.it");
    EXPECT_EQ(DecodeDomainEscapes("a%2e%41b.it%"), "a%2e%41b.it%");   // ASCII escapes stay
    EXPECT_EQ(DecodeDomainEscapes("caff%e8.it"), "caff%e8.it");      // not UTF-8: as it was
    EXPECT_EQ(DecodeDomainEscapes("%%c3%a8"), "%\xC3\xA8");
}

TEST(AddressScanner, CleanUp)
{
    const struct {
        const char* text;
        const char* cleaned;
    } rows[] = {
        {"%20pq@b.c", "pq@b.c"},
        {"xy%20pq@b.c", "pq@b.c"},
        {"x%2y@b.c", "2y@b.c"},
        {"a%41b@b.c", "%41b@b.c"},
        {"pq@b.c", "pq@b.c"},
        {"ab%29", ""},
        {"%20a%20b@c.d", "a%20b@c.d"}, // only the first sign counts
        // A "%" after the "@" is never a cut; the domain's escapes beyond
        // ASCII are decoded.
        {"info@caff%c3%a8-1.example.org", "info@caff\xC3\xA8-1.example.org"},
        {"%20info@caff%C3%A8.it", "info@caff\xC3\xA8.it"},
        {"pq@b.c%", "pq@b.c%"},
        {"pq@b.c%2", "pq@b.c%2"},
        {"pq@b%2ec", "pq@b%2ec"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(CleanAddressText(r.text), r.cleaned) << r.text;
    // Every harvest cleans the whole list again: a decoded domain stays.
    const std::string once = CleanAddressText("i@%%c3%a8%41.it");
    EXPECT_EQ(once, "i@%\xC3\xA8%41.it");
    EXPECT_EQ(CleanAddressText(once), once);

    // In place: same position, same tick, no re-sorting; equal results stay.
    TCheckListModel l;
    l.Assign({"%20zz@b.c", "ab@c.d", "m%20ab@c.d"});
    l.SetChecked(0, true);
    l.SetItemIndex(2);
    CleanAllAddresses(l, true);
    EXPECT_EQ(l.Texts(), (Texts{"zz@b.c", "ab@c.d", "ab@c.d"}));
    EXPECT_TRUE(l.Checked(0));
    EXPECT_EQ(l.ItemIndex(), 2);
    CleanAddress(l, 1); // no sign: unchanged
    EXPECT_EQ(l.Text(1), "ab@c.d");
    EXPECT_THROW(CleanAddress(l, 3), Exception);

    // With the check on, entries under no public domain go; the others keep
    // their ticks and the current entry.
    l.Assign({"%20a@example.org", "logo@2x.png", "m%20b@caff%c3%a8.it", "x@s.example"});
    l.SetChecked(2, true);
    l.SetItemIndex(2);
    CleanAllAddresses(l, false);
    EXPECT_EQ(l.Texts(), (Texts{"a@example.org", "b@caff\xC3\xA8.it"}));
    EXPECT_TRUE(l.Checked(1));
    EXPECT_EQ(l.ItemIndex(), 1);
}

// The clean-up of a large list services the event queue between slices;
// a handler that changes the list meanwhile makes the pass start again, so
// the entries dropped are those the list holds then.
TEST(AddressScanner, TheCleanUpOfALargeListStaysLiveAndStartsAgainWhenTheListChanges)
{
    std::vector<std::string> texts;
    for (int k = 0; k < 150000; ++k)
        texts.push_back(std::string(1, 'u').append(std::to_string(k)).append("@x.example.org"));
    texts.push_back("logo@2x.png");
    texts.push_back("%20p@y.example.org"); // sorts first
    TCheckListModel l;
    l.Assign(texts);
    int handled = 0;
    QMetaObject::invokeMethod(
        &l,
        [&] {
            ++handled;
            l.Delete(0);
        },
        Qt::QueuedConnection);
    CleanAllAddresses(l, false);
    EXPECT_EQ(handled, 1) << "the queue was serviced during the pass";
    ASSERT_EQ(l.Count(), 150000);
    const std::vector<std::string> left = l.Texts();
    EXPECT_EQ(std::count_if(left.begin(), left.end(), [](const std::string& t) { return t.rfind('u', 0) == 0; }),
              150000);
}
