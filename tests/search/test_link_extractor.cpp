#include "CheckList.h"
#include "PageBuffer.h"
#include "Engines.h"
#include "LinkExtractor.h"

#include <gtest/gtest.h>

namespace {

using Texts = std::vector<std::string>;

Texts extract(const std::string& text, TEngine engine, bool plainText = false)
{
    TPageBuffer page;
    page.SetText(text);
    Texts found;
    ExtractLinks(page, engine, plainText, [&found](std::string_view l) { found.emplace_back(l); });
    return found;
}

} // namespace

TEST(LinkExtractor, CutsLinksAtTheFiveTerminatorsOnly)
{
    const auto G = TEngine::Google;
    EXPECT_EQ(extract("<a href=http://a.it/x>A</a><a href=http://b.it/>B</a>", G), (Texts{"http://a.it/x", "http://b.it/"}));
    // A marker in capitals matches; the link keeps the page's letters.
    EXPECT_EQ(extract("<A HREF=HTTP://Big.IT/Page>x", G), Texts{"HTTP://Big.IT/Page"});
    EXPECT_EQ(extract("<a href=http://q.it/s?a=1&b=2>", G), Texts{"http://q.it/s?a=1"});
    EXPECT_EQ(extract("<a href=http://q.it/p'x <a href=http://r.it/p q", G), (Texts{"http://q.it/p", "http://r.it/p"}));
    EXPECT_EQ(extract("<a href=http://q.it/p;jsessionid=1>", G), Texts{"http://q.it/p"});
    EXPECT_EQ(extract("<a href=http://q.it/\" class=x>", G), Texts{"http://q.it/\""});
    EXPECT_EQ(extract("<a href=http://q.it/<b\"x\n>", G), Texts{"http://q.it/<b\"x\n"});
    EXPECT_EQ(extract("<a href=http://q.it/a\r\nb.html>", G), Texts{"http://q.it/a\r\nb.html"});
    // To the end of the text when no terminator follows.
    EXPECT_EQ(extract("<a href=http://end.it", G), Texts{"http://end.it"});
    EXPECT_EQ(extract("<a href=http", G), Texts{"http"});
    // AltaVista: the link starts at the "h" of the marker's "http://".
    EXPECT_EQ(extract("<a onmouseover=\"window.status='http://av.it/x';\">", TEngine::AltaVista), Texts{"http://av.it/x"});
    EXPECT_EQ(extract("STATUS='HTTP://AV.IT/'", TEngine::AltaVista), Texts{"HTTP://AV.IT/"});
    // Each engine looks for its own marker only; no engine, nothing.
    EXPECT_EQ(extract("status='http://av.it/x'", G), Texts{});
    EXPECT_EQ(extract("<a href=http://a.it/>", TEngine::AltaVista), Texts{});
    EXPECT_EQ(extract("<a href=http://a.it/>", TEngine::None), Texts{});
    EXPECT_EQ(extract("", G), Texts{});
}

TEST(LinkExtractor, Filters)
{
    const auto G = TEngine::Google;
    const std::string ownG = "<a href=http://www.google.com/search?q=x> <a href=http://images.google.it/i>";
    const std::string ownA = "status='http://www.altavista.com/web' status='http://x.altavista.it/'";
    for (bool plain : {false, true}) {
        EXPECT_EQ(extract(ownG + "<a href=http://ok.it/a.html>", G, plain), Texts{"http://ok.it/a.html"});
        EXPECT_EQ(extract(ownA + "status='http://ok.it/a.html'", TEngine::AltaVista, plain), Texts{"http://ok.it/a.html"});
    }
    // The own-domain test is case-sensitive like every other.
    EXPECT_EQ(extract("<a href=http://www.Google.com/>", G), Texts{"http://www.Google.com/"});
    // Another engine's domain is just a site.
    EXPECT_EQ(extract("<a href=http://www.altavista.com/>", G), Texts{"http://www.altavista.com/"});

    // Normal filter: documents dropped by their exact-case endings.
    const std::string docs = "<a href=http://a.it/f.pdf> <a href=http://a.it/F.PDF> <a href=http://a.it/f.doc> "
                             "<a href=http://a.it/F.DOC> <a href=http://a.it/f.Pdf> <a href=http://a.it/f.pdf.html> "
                             "<a href=http://a.it/>";
    EXPECT_EQ(extract(docs, G), (Texts{"http://a.it/f.Pdf", "http://a.it/"}));

    // Plain-text filter: ".html", ".htm" or ".txt" anywhere, exact case.
    const std::string pages = "<a href=http://a.it/> <a href=http://a.it/x.HTML> <a href=http://a.it/x.htm> "
                              "<a href=http://a.it/x.html> <a href=http://a.it/d.txt/p> <a href=http://a.it/f.pdf.html>";
    EXPECT_EQ(extract(pages, G, true), (Texts{"http://a.it/x.htm", "http://a.it/x.html", "http://a.it/d.txt/p", "http://a.it/f.pdf.html"}));
}

TEST(LinkExtractor, SelectionAppendingAndCounter)
{
    TPageBuffer page;
    page.SetText("xx <a href=http://b.it/> <a href=http://a.it/> yy");
    page.Select(20, 3); // ignored: every run starts at the top
    TCheckListModel sites;
    EXPECT_EQ(ExtractLinks(page, TEngine::Google, false, sites), 2);
    EXPECT_EQ(sites.Texts(), (Texts{"http://a.it/", "http://b.it/"}));
    EXPECT_EQ(page.SelStart(), 25); // the last marker found
    EXPECT_EQ(page.SelLength(), 12);
    // The same page again: every link a second time, until the duplicate
    // pass.
    EXPECT_EQ(ExtractLinks(page, TEngine::Google, false, sites), 4);
    EXPECT_EQ(sites.Texts(), (Texts{"http://a.it/", "http://a.it/", "http://b.it/", "http://b.it/"}));
    EXPECT_EQ(RemoveDuplicates(sites), 2);
    EXPECT_EQ(sites.Count(), 2);

    // A page without markers adds nothing; the counter value is the count.
    page.SetText("nothing");
    EXPECT_EQ(ExtractLinks(page, TEngine::AltaVista, false, sites), 2);
    // No engine: nothing happens, not even to the selection.
    page.Select(2, 3);
    EXPECT_EQ(ExtractLinks(page, TEngine::None, false, sites), 2);
    EXPECT_EQ(page.SelStart(), 2);
    EXPECT_EQ(page.SelLength(), 3);
}

TEST(DuplicatePass, RunsShrinkToTheirFirstEntry)
{
    TCheckListModel l;
    l.Assign({"x", "x", "x", "y"});
    l.SetChecked(0, true);
    l.SetChecked(1, false);
    EXPECT_EQ(RemoveDuplicates(l), 2);
    EXPECT_EQ(l.Texts(), (Texts{"x", "y"}));
    EXPECT_TRUE(l.Checked(0)); // the first of the run, with its tick

    l.Assign({"X", "x"});
    EXPECT_EQ(RemoveDuplicates(l), 0);
    EXPECT_EQ(l.Texts(), (Texts{"X", "x"}));

    l.Assign({"a", "a"}); // the first two entries
    EXPECT_EQ(RemoveDuplicates(l), 1);
    EXPECT_EQ(l.Texts(), Texts{"a"});
    EXPECT_EQ(RemoveDuplicates(l), 0);
    l.Clear();
    EXPECT_EQ(RemoveDuplicates(l), 0);

    // Equal neighbours only: an unsorted list keeps separated equal entries.
    l.SetSorted(false);
    l.Assign({"a", "b", "a", "a"});
    EXPECT_EQ(RemoveDuplicates(l), 1);
    EXPECT_EQ(l.Texts(), (Texts{"a", "b", "a"}));
}

TEST(Engines, SelectorTextNamesTheEngine)
{
    EXPECT_EQ(EngineInUse(kGoogleEntry), TEngine::Google);
    EXPECT_EQ(EngineInUse(kAltaVistaEntry), TEngine::AltaVista);
    EXPECT_EQ(EngineInUse("HTTP://WWW.GOOGLE.COM"), TEngine::None);
    EXPECT_EQ(EngineInUse(kGoogleEntry + " "), TEngine::None);
    EXPECT_EQ(EngineInUse(""), TEngine::None);
    // Each engine's own-domain marker is in its own home address.
    EXPECT_NE(kGoogleEntry.find(OwnDomainMarker(TEngine::Google)), std::string::npos);
    EXPECT_NE(kAltaVistaEntry.find(OwnDomainMarker(TEngine::AltaVista)), std::string::npos);
}
