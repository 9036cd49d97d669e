#include "PageBuffer.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// The find written the plain way, to check the fast one against.
int64_t naiveFind(const std::string& text, const std::string& what, int64_t start)
{
    const int64_t n = static_cast<int64_t>(text.size()), m = static_cast<int64_t>(what.size());
    if (m == 0 || start < 0)
        return -1;
    for (int64_t p = start; p + m <= n; ++p) {
        int64_t k = 0;
        while (k < m && FoldByte(static_cast<unsigned char>(text[p + k])) == FoldByte(static_cast<unsigned char>(what[k])))
            ++k;
        if (k == m)
            return p;
    }
    return -1;
}

} // namespace

TEST(PageBuffer, TextAndSelection)
{
    TPageBuffer b;
    b.SetText(std::string("abc\0def", 7));
    EXPECT_EQ(b.Text(), "abc");
    EXPECT_EQ(b.Length(), 3);
    b.Select(1, 5);
    EXPECT_EQ(b.SelStart(), 1);
    EXPECT_EQ(b.SelLength(), 2);
    b.SetText("new text");
    EXPECT_EQ(b.SelStart(), 0);
    EXPECT_EQ(b.SelLength(), 0);
    b.Select(20, 1);
    EXPECT_EQ(b.SelStart(), 8);
    EXPECT_EQ(b.SelLength(), 0);
}

TEST(PageBuffer, FindIgnoresCaseAndAgreesWithAPlainSearch)
{
    TPageBuffer b;
    b.SetText("<A HREF=http://x>one</a> <a href=HTTP://y> status='http://z'");
    EXPECT_EQ(b.FindText("<a href=http", 0), 0);
    EXPECT_EQ(b.FindText("<a href=http", 1), 25);
    EXPECT_EQ(b.FindText("STATUS='http://", 0), 43);
    EXPECT_EQ(b.FindText("status", 44), -1);
    EXPECT_EQ(b.FindText("", 0), -1);
    EXPECT_EQ(b.FindText("x", -1), -1);
    EXPECT_EQ(b.FindText("'", b.Length()), -1);
    EXPECT_EQ(b.FindText("'", b.Length() - 1), b.Length() - 1);
    EXPECT_EQ(b.FindText("x", b.Length() + 5), -1);
    EXPECT_EQ(FindTextNoCase("\xC4rger \xE4RGER", "\xE4rger", 1), 6);

    // Random texts over a small alphabet of letters in both cases, Latin-1
    // letters, digits and marks, searched for random pieces of themselves.
    const std::string alphabet = "aAbB<>= '\xE4\xC4" "1.";
    std::mt19937 rng(11);
    for (int round = 0; round < 2000; ++round) {
        std::string text, what;
        const int n = static_cast<int>(rng() % 40);
        for (int k = 0; k < n; ++k)
            text += alphabet[rng() % alphabet.size()];
        const int m = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < m; ++k)
            what += alphabet[rng() % alphabet.size()];
        const int64_t start = static_cast<int64_t>(rng() % 42);
        ASSERT_EQ(FindTextNoCase(text, what, start), naiveFind(text, what, start)) << text << " / " << what << " / " << start;
    }
}
