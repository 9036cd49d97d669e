#include "PageBuffer.h"
#include "SysUtils.h"
#include "ResultCount.h"

#include <gtest/gtest.h>

namespace {

std::optional<std::string> digitsOf(const std::string& text, TEngine engine)
{
    TPageBuffer page;
    page.SetText(text);
    return ResultCountDigits(page, engine);
}

} // namespace

TEST(ResultCount, ReadsTheFigureAfterTheMarker)
{
    EXPECT_EQ(digitsOf("Risultati <b>1</b> - <b>10</b> di circa <b>1.230.000</b> per", TEngine::Google), "1230000");
    EXPECT_EQ(ResultTotal("1230000"), 1230000);
    EXPECT_EQ(digitsOf("<td>AltaVista ha trovato 12,345 risultati", TEngine::AltaVista), "12345");
    EXPECT_EQ(digitsOf("</B> DI CIRCA <B>77<", TEngine::Google), "77");
    EXPECT_EQ(digitsOf(">altavista HA TROVATO 5", TEngine::AltaVista), "5"); // up to the end of the text
    // Only the first marker counts.
    EXPECT_EQ(digitsOf("</b> di circa <b>1</b> ... </b> di circa <b>2</b>", TEngine::Google), "1");
    // Tabs and line ends do not end the figure.
    EXPECT_EQ(digitsOf("</b> di circa <b>1\t2<", TEngine::Google), "1\t2");
}

TEST(ResultCount, NothingReadableChangesNothing)
{
    EXPECT_EQ(digitsOf("</b> di circa <b><b>", TEngine::Google), std::nullopt);
    EXPECT_EQ(digitsOf("</b> di circa <b> 5", TEngine::Google), std::nullopt);
    EXPECT_EQ(digitsOf("</b> di circa <b>", TEngine::Google), std::nullopt);
    EXPECT_EQ(digitsOf("no marker 1.000", TEngine::Google), std::nullopt);
    EXPECT_EQ(digitsOf(">AltaVista ha trovato 5", TEngine::Google), std::nullopt);
    EXPECT_EQ(digitsOf("</b> di circa <b>5", TEngine::None), std::nullopt);

    TPageBuffer page;
    page.SetText("</b> di circa <b><");
    std::string label = "42";
    int32_t total = 42;
    EXPECT_FALSE(ReadResultCount(page, TEngine::Google, label, total));
    EXPECT_EQ(label, "42");
    EXPECT_EQ(total, 42);
}

TEST(ResultCount, ConversionSaturatesBeyondTheRangeAndRaisesOnOtherCharacters)
{
    TPageBuffer page;
    std::string label;
    int32_t total = 0;
    // Beyond the signed 32-bit range: all ten digits show, the total stops
    // at the largest value.
    page.SetText("</b> di circa <b>3.000.000.000</b>");
    EXPECT_TRUE(ReadResultCount(page, TEngine::Google, label, total));
    EXPECT_EQ(label, "3000000000");
    EXPECT_EQ(total, 2147483647);
    EXPECT_EQ(ResultTotal("2147483647"), 2147483647);
    EXPECT_EQ(ResultTotal("2147483648"), 2147483647);
    EXPECT_EQ(ResultTotal("99999999999999999999999"), 2147483647);
    EXPECT_EQ(ResultTotal("007"), 7);

    // Another character: the label shows the digits text, then the
    // conversion error.
    page.SetText(">AltaVista ha trovato 12a34 pagine");
    label.clear();
    total = 5;
    EXPECT_THROW(ReadResultCount(page, TEngine::AltaVista, label, total), EConvertError);
    EXPECT_EQ(label, "12a34");
    EXPECT_EQ(total, 5);
    EXPECT_THROW(ResultTotal(""), EConvertError); // a figure of separators only
    EXPECT_THROW(ResultTotal("-99999999999"), EConvertError);
    EXPECT_THROW(ResultTotal("1\t2"), EConvertError);
    // Only decimal figures count: no hexadecimal forms, no leading blanks.
    EXPECT_THROW(ResultTotal("$10"), EConvertError);
    EXPECT_THROW(ResultTotal("0x10"), EConvertError);
    EXPECT_THROW(ResultTotal("\t5"), EConvertError);
    EXPECT_THROW(ResultTotal("+"), EConvertError);
    EXPECT_EQ(ResultTotal("+12"), 12);
}
