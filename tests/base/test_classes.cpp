#include "Classes.h"
#include "TestUtil.h"

#include <QString>
#include <gtest/gtest.h>

TEST(StringList, SetTextSplitsAtEveryLineEndAndStopsAtZero)
{
    TStringList l;
    l.SetText(std::string("a\r\nb\rc\nd\n\r\n\ne\0f", 16));
    EXPECT_EQ(l.Lines(), (std::vector<std::string>{"a", "b", "c", "d", "", "", "e"}));
    l.SetText("x\r\n");
    EXPECT_EQ(l.Count(), 1);
    l.SetText("");
    EXPECT_EQ(l.Count(), 0);
    l.SetText("\r\n\r\n");
    EXPECT_EQ(l.Lines(), (std::vector<std::string>{"", ""}));
}

TEST(StringList, SortedAddKeepsCaseInsensitiveOrder)
{
    TStringList l;
    l.SetSorted(true);
    l.Add("beta");
    l.Add("Alpha");
    l.Add("gamma");
    l.Add("ALPHA");
    EXPECT_EQ(l.Get(0), "Alpha");
    EXPECT_EQ(l.Get(1), "ALPHA");
    EXPECT_EQ(l.Text(), "Alpha\r\nALPHA\r\nbeta\r\ngamma\r\n");
    EXPECT_THROW(l.Get(4), Exception);
}

TEST(Streams, MemoryAndFileStreamsReadWriteSeek)
{
    testutil::TempDir dir;
    TMemoryStream m;
    m.WriteString("hello world");
    EXPECT_EQ(m.GetSize(), 11);
    m.SetPosition(6);
    EXPECT_EQ(m.ReadRest(), "world");
    m.SaveToFile(dir.file("f.bin"));

    TFileStream f(dir.file("f.bin"), fmOpenReadWrite);
    EXPECT_EQ(f.GetSize(), 11);
    EXPECT_EQ(f.Seek(-5, soFromEnd), 6);
    f.WriteString("WORLD!");
    f.SetPosition(0);
    EXPECT_EQ(f.ReadRest(), "hello WORLD!");
    EXPECT_THROW(TFileStream(dir.file("missing"), fmOpenRead), EFOpenError);
    EXPECT_THROW(TFileStream(dir.file("no/such/dir/x"), fmCreate), EFCreateError);
    char c;
    EXPECT_THROW(m.ReadBuffer(&c, 1), EStreamError);

    // A read that the system refuses is told apart from the end of the file,
    // so reading a whole file never passes off a part of it as the whole.
    if (FileExists("/proc/self/mem")) {
        TFileStream mem("/proc/self/mem", fmOpenRead);
        EXPECT_EQ(mem.Read(&c, 1), -1);
        EXPECT_THROW(ReadFileBytes("/proc/self/mem"), EStreamError);
    }
    EXPECT_EQ(ReadFileBytes(dir.file("f.bin")), "hello WORLD!");
}

TEST(SysUtils, StrToIntAcceptsWhatUsersTypeAndRejectsTheRest)
{
    EXPECT_EQ(StrToInt("10000"), 10000);
    EXPECT_EQ(StrToInt("  -42"), -42);
    EXPECT_EQ(StrToInt("2147483647"), 2147483647);
    EXPECT_EQ(StrToInt("-2147483648"), INT32_MIN);
    EXPECT_EQ(StrToInt("$FF"), 255);
    EXPECT_THROW(StrToInt("2147483648"), EConvertError);
    EXPECT_THROW(StrToInt(""), EConvertError);
    EXPECT_THROW(StrToInt("12a"), EConvertError);
    EXPECT_THROW(StrToInt("1 "), EConvertError);
    try {
        StrToInt("x");
    } catch (const EConvertError& e) {
        EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
    }
}

TEST(SysUtils, TextComparisonFoldsLatin1Letters)
{
    EXPECT_EQ(CompareText("ABC", "abc"), 0);
    EXPECT_LT(CompareText("abc", "abd"), 0);
    EXPECT_EQ(CompareText("\xC9t\xC9", "\xE9t\xE9"), 0);
    EXPECT_NE(CompareText("\xD7", "\xF7"), 0);
}

TEST(SysUtils, WidgetTextIsUtf8WhereValidAndLatin1Otherwise)
{
    struct Row {
        std::string bytes;
        QString shown;
    };
    const Row rows[] = {
        {"plain@example.org", QStringLiteral("plain@example.org")},
        {"caff\xc3\xa8", QString::fromUtf8("caff\xc3\xa8")},             // UTF-8
        {"caff\xe8", QString::fromUtf8("caff\xc3\xa8")},                   // Latin-1
        {"\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl", QString::fromUtf8("\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl")},
        {"\xc3\xa8 \xe8", QString::fromUtf8("\xc3\x83\xc2\xa8 \xc3\xa8")},  // mixed: Latin-1 as a whole
        {"\xef\xbb\xbf" "BOM", QChar(0xFEFF) + QStringLiteral("BOM")},      // the mark is kept
        {std::string("\x00\x80\xff", 3), QString::fromLatin1("\x00\x80\xff", 3)},
    };
    for (const Row& r : rows)
        EXPECT_EQ(toQt(r.bytes), r.shown) << r.bytes;

    // Typed text is written as UTF-8 and shows again as typed.
    const QString typed = QString::fromUtf8("\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl");
    EXPECT_EQ(fromQt(typed), "\xc5\x82\xc3\xb3" "d\xc5\xba@example.pl");
    EXPECT_EQ(toQt(fromQt(typed)), typed);
    // A text shown and left as it was keeps its own bytes; an edit is UTF-8.
    EXPECT_EQ(fromQtKeeping(toQt("caff\xe8"), "caff\xe8"), "caff\xe8");
    EXPECT_EQ(fromQtKeeping(toQt("caff\xe8") + "!", "caff\xe8"), "caff\xc3\xa8!");
}
