#include "PageBuffer.h"
#include "SysUtils.h"

#include <gtest/gtest.h>

#include <memory>
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
    // letters, digits and marks, searched for random pieces of themselves and
    // for random patterns; the texts run over several of the sixteen-byte
    // blocks the find works in, so matches and near-matches fall on every
    // side of a block's edge.
    const std::string alphabet = "aAbB<>= '\xE4\xC4" "1.";
    std::mt19937 rng(11);
    for (int round = 0; round < 4000; ++round) {
        std::string text, what;
        const int n = static_cast<int>(rng() % 160);
        for (int k = 0; k < n; ++k)
            text += alphabet[rng() % alphabet.size()];
        const int m = 1 + static_cast<int>(rng() % 12);
        if (round % 2 == 0 && n >= m) {
            what = text.substr(rng() % (n - m + 1), static_cast<size_t>(m));
        } else {
            for (int k = 0; k < m; ++k)
                what += alphabet[rng() % alphabet.size()];
        }
        const int64_t start = static_cast<int64_t>(rng() % (n + 3));
        ASSERT_EQ(FindTextNoCase(text, what, start), naiveFind(text, what, start)) << text << " / " << what << " / " << start;
    }
}

TEST(PageBuffer, SharedTextIsShownWithoutACopyWhileItsKeeperLives)
{
    auto bytes = std::make_shared<const std::string>(std::string("<a href=http://x.it>\0tail", 25));
    const std::weak_ptr<const std::string> watch = bytes;
    TPageBuffer b;
    b.SetText("old");
    b.Select(1, 1);
    b.SetSharedText(*bytes, bytes);
    bytes.reset();
    ASSERT_FALSE(watch.expired());
    EXPECT_EQ(b.Text(), "<a href=http://x.it>"); // ends at the zero
    EXPECT_EQ(b.Text().data(), watch.lock()->data());
    EXPECT_EQ(b.SelStart(), 0);
    EXPECT_EQ(b.SelLength(), 0);
    EXPECT_EQ(b.FindText("HTTP", 0), 8);
    b.Select(3, 40);
    EXPECT_EQ(b.SelLength(), 17);

    // Any other text lets the shared bytes go.
    b.SetText("own");
    EXPECT_TRUE(watch.expired());
    EXPECT_EQ(b.Text(), "own");

    // Without a keeper nothing holds the bytes, so they are copied.
    std::string passing = "abc";
    b.SetSharedText(passing, nullptr);
    passing[0] = 'x';
    EXPECT_EQ(b.Text(), "abc");
}
