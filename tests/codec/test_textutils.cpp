#include "Nmextstr.h"
#include "Nmurl.h"

#include <gtest/gtest.h>

TEST(NMURL, EncodeCopiesLettersAndDigitsAndEscapesTheRest)
{
    TNMURL url;
    EXPECT_EQ(url.URLEncode("a b&c"), "a+b%26c");
    EXPECT_EQ(url.URLEncode("~"), "%7e");
    EXPECT_EQ(url.URLEncode(""), "");
    EXPECT_EQ(url.URLEncode("/"), "%2f");
    EXPECT_EQ(url.URLEncode("\xe9"), "%e9");
    EXPECT_EQ(url.URLEncode(std::string("AZaz09\0-_.", 10)), "AZaz09%00%2d%5f%2e");
    // Texts beyond 65535 characters are encoded whole.
    const std::string big(70000, 'a');
    EXPECT_EQ(url.URLEncode(big + " "), big + "+");
    url.InputString = "x y";
    EXPECT_EQ(url.GetEncodeString(), "x+y");
}

TEST(NMURL, DecodeEitherHexCaseAndMalformedInputUnchanged)
{
    TNMURL url;
    int errors = 0;
    std::string operation;
    QObject* sender = nullptr;
    url.OnError = [&](QObject* s, const std::string& op, const std::string& msg) {
        ++errors;
        operation = op;
        sender = s;
        EXPECT_FALSE(msg.empty());
    };
    EXPECT_EQ(url.URLDecode("a+b%26c"), "a b&c");
    EXPECT_EQ(url.URLDecode("%4A"), "J");
    EXPECT_EQ(url.URLDecode("%4a"), "J");
    EXPECT_EQ(url.URLDecode("%e9%E9%00"), std::string("\xe9\xe9\0", 3));
    EXPECT_EQ(url.URLDecode(""), "");
    EXPECT_EQ(errors, 0);

    for (const char* bad : {"abc%", "a%zz", "x+%4", "%+1", "ok%2"}) {
        errors = 0;
        EXPECT_EQ(url.URLDecode(bad), bad);
        EXPECT_EQ(errors, 1) << bad;
        EXPECT_EQ(operation, "Error during decode");
        EXPECT_EQ(sender, &url);
    }
    // Without a handler the failure is silent but the result the same.
    url.OnError = nullptr;
    url.InputString = "a+%zz";
    EXPECT_EQ(url.GetDecodeString(), "a+%zz");
    // Encoding and decoding restore every byte.
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    EXPECT_EQ(url.URLDecode(url.URLEncode(all)), all);
}

TEST(ExStringList, GetValueFindsNamesWithoutRegardToCase)
{
    TExStringList l;
    l.Add("From: me");
    l.Add("Subject: Hello");
    l.Add("Plain line");
    l.Add("X-Two:  spaced");
    l.Add("X-Tight:Hello");
    l.Add("Reply: a: b");
    EXPECT_EQ(l.IndexOfName("subject"), 1);
    EXPECT_EQ(l.GetValue("subject"), "Hello");
    EXPECT_EQ(l.GetValue("x-tight"), "Hello");
    EXPECT_EQ(l.GetValue("X-Two"), " spaced");
    EXPECT_EQ(l.GetValue("Reply"), "a: b");
    EXPECT_EQ(l.IndexOfName("Plain line"), -1);
    EXPECT_EQ(l.IndexOfName("Missing"), -1);
    EXPECT_EQ(l.GetValue("Missing"), "");
    EXPECT_EQ(TExStringList().IndexOfName("x"), -1);
}

TEST(ExStringList, SetValueReplacesInPlaceAddsAndDeletes)
{
    TExStringList l;
    l.Add("From: me");
    l.Add("X-Mailer: old");
    l.Add("Subject: Old");
    l.SetValue("subject", "New");
    EXPECT_EQ(l.Text(), "From: me\r\nX-Mailer: old\r\nsubject: New\r\n");
    l.SetValue("X-Mailer", "");
    EXPECT_EQ(l.Text(), "From: me\r\nsubject: New\r\n");
    l.SetValue("X-Mailer", "");
    EXPECT_EQ(l.Count(), 2);
    l.SetValue("To", "you");
    EXPECT_EQ(l.Text(), "From: me\r\nsubject: New\r\nTo: you\r\n");
    l.SetValue("FROM", "someone else");
    EXPECT_EQ(l.Get(0), "FROM: someone else");
}

TEST(ExStringList, SortedListBinarySearchAndSetValueKeepOrder)
{
    TExStringList l;
    l.SetSorted(true);
    EXPECT_EQ(l.IndexOfName("a"), -1);
    for (const char* s : {"Gamma: 3", "alpha: 1", "Beta: 2", "Delta: 4", "epsilon: 5"})
        l.Add(s);
    EXPECT_EQ(l.IndexOfName("ALPHA"), 0);
    EXPECT_EQ(l.IndexOfName("beta"), 1);
    EXPECT_EQ(l.IndexOfName("delta"), 2);
    EXPECT_EQ(l.IndexOfName("EPSILON"), 3);
    EXPECT_EQ(l.IndexOfName("gamma"), 4);
    EXPECT_EQ(l.IndexOfName("Zeta"), -1);
    EXPECT_EQ(l.IndexOfName("Aaa"), -1);
    EXPECT_EQ(l.GetValue("Delta"), "4");
    // Replacing keeps the list sorted so every name is still found.
    l.SetValue("alpha", "zz");
    l.SetValue("Zeta", "6");
    l.SetValue("Beta", "");
    EXPECT_EQ(l.Text(), "alpha: zz\r\nDelta: 4\r\nepsilon: 5\r\nGamma: 3\r\nZeta: 6\r\n");
    for (const char* n : {"alpha", "delta", "epsilon", "gamma", "zeta"})
        EXPECT_GE(l.IndexOfName(n), 0) << n;
}
