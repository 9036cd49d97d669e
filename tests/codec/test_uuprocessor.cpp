#include "Nms_stream.h"
#include "Nmuue.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string encode(const std::string& data, UUMethods method)
{
    TMemoryStream in(data);
    TMemoryStream out;
    TNMUUProcessor p;
    p.Method = method;
    p.InputStream = &in;
    p.OutputStream = &out;
    p.Encode();
    return out.DataString();
}

std::string decode(const std::string& text, UUMethods method, int64_t start = 0)
{
    TMemoryStream in(text);
    in.SetPosition(start);
    TMemoryStream out;
    TNMUUProcessor p;
    p.Method = method;
    p.InputStream = &in;
    p.OutputStream = &out;
    p.Decode();
    return out.DataString();
}

std::string pattern(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 151 + 7) % 256);
    return s;
}

// Records "<length> <output length>\n<output>\n" as written by the reference
// generator in tests/data/coders.
std::vector<std::pair<size_t, std::string>> loadReference(const std::string& name)
{
    const std::string data = testutil::readFile(std::string(CORVINA_TEST_DATA) + "/coders/" + name);
    std::vector<std::pair<size_t, std::string>> records;
    size_t i = 0;
    while (i < data.size()) {
        const size_t nl = data.find('\n', i);
        std::istringstream header(data.substr(i, nl - i));
        size_t len = 0, outLen = 0;
        header >> len >> outLen;
        records.emplace_back(len, data.substr(nl + 1, outLen));
        i = nl + 1 + outLen + 1;
    }
    return records;
}

// A stream that refuses every byte written to it.
class RefusingStream : public TMemoryStream {
public:
    int64_t Write(const void*, int64_t) override { return 0; }
    int seeksToStart = 0;
    int64_t Seek(int64_t offset, uint16_t origin) override
    {
        if (origin == soFromBeginning && offset == 0)
            ++seeksToStart;
        return TMemoryStream::Seek(offset, origin);
    }
};

} // namespace

TEST(UUProcessor, Base64KnownVectors)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"", ""},
        {"f", "Zg==\r\n"},
        {"fo", "Zm8=\r\n"},
        {"foo", "Zm9v\r\n"},
        {"foob", "Zm9vYg==\r\n"},
        {"fooba", "Zm9vYmE=\r\n"},
        {"foobar", "Zm9vYmFy\r\n"},
    };
    for (const auto& [plain, coded] : vectors) {
        EXPECT_EQ(encode(plain, uuMime), coded) << plain;
        EXPECT_EQ(decode(coded, uuMime), plain) << plain;
    }
}

TEST(UUProcessor, UuencodeExamplesAndLineLengths)
{
    EXPECT_EQ(encode("abc", uuCode), "#86)C\r\n`\r\n");
    EXPECT_EQ(encode(std::string(1, '\0'), uuCode), "!``\r\n`\r\n");
    EXPECT_EQ(encode("", uuCode), "`\r\n");
    EXPECT_EQ(encode("ab", uuCode), "\"86(\r\n`\r\n");

    const std::string mime45 = encode(std::string(45, 'x'), uuMime);
    EXPECT_EQ(mime45.size(), 62u);
    EXPECT_EQ(mime45.substr(60), "\r\n");
    const std::string mime46 = encode(std::string(46, 'x'), uuMime);
    ASSERT_EQ(mime46.size(), 62u + 6u);
    EXPECT_EQ(mime46.substr(62), "eA==\r\n");
    const std::string uu46 = encode(std::string(46, 'x'), uuCode);
    EXPECT_EQ(uu46[0], 'M');
    EXPECT_EQ(uu46.substr(61, 2), "\r\n");
    EXPECT_EQ(uu46.substr(63), "!>`\r\n`\r\n");
}

TEST(UUProcessor, MatchesReferenceOutputsAndRoundTrips)
{
    for (const auto& [file, method] : {std::pair{"base64.ref", uuMime}, std::pair{"uu.ref", uuCode}}) {
        const auto records = loadReference(file);
        ASSERT_GE(records.size(), 201u) << file;
        for (const auto& [len, expected] : records) {
            const std::string input = pattern(len);
            const std::string coded = encode(input, method);
            ASSERT_EQ(coded, expected) << file << " length " << len;
            // Nothing follows the encoded data: every byte must still come back.
            ASSERT_EQ(decode(coded, method), input) << file << " length " << len;
        }
    }
}

TEST(UUProcessor, EncodeRewindsOutputAndReportsEndAlsoAfterError)
{
    TNMUUProcessor p;
    std::vector<std::string> events;
    p.OnBeginEncode = [&](QObject* s) { events.push_back(s == &p ? "begin" : "?"); };
    p.OnEndEncode = [&](QObject* s) { events.push_back(s == &p ? "end" : "?"); };

    // The output is written at its position and rewound; the input is read
    // from its start whatever its position.
    TMemoryStream in("foo");
    in.SetPosition(2);
    TMemoryStream out("XY");
    out.SetPosition(2);
    p.InputStream = &in;
    p.OutputStream = &out;
    p.Encode();
    EXPECT_EQ(out.DataString(), "XYZm9v\r\n");
    EXPECT_EQ(out.GetPosition(), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));

    events.clear();
    RefusingStream refusing;
    p.OutputStream = &refusing;
    EXPECT_THROW(p.Encode(), EStreamError);
    EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));
    EXPECT_GE(refusing.seeksToStart, 1);

    // The rewinding itself fails (the buffered bytes cannot be written): the
    // end is still reported.
    events.clear();
    RefusingStream behind;
    {
        TS_BufferStream buffered(&behind);
        p.OutputStream = &buffered;
        EXPECT_THROW(p.Encode(), EStreamError);
        EXPECT_EQ(events, (std::vector<std::string>{"begin", "end"}));
    }

    events.clear();
    p.InputStream = nullptr;
    p.OutputStream = &out;
    EXPECT_THROW(p.Encode(), Exception);
    EXPECT_EQ(events, (std::vector<std::string>{"end"}));
}

TEST(UUProcessor, SameObjectEncodesWithEitherMethodAndThroughBufferedOutput)
{
    const std::string input = pattern(5000);
    TMemoryStream in(input);
    TMemoryStream target;
    TNMUUProcessor p;
    p.InputStream = &in;
    {
        TS_BufferStream buffered(&target);
        p.OutputStream = &buffered;
        p.Method = uuCode;
        p.Encode();
        EXPECT_EQ(target.DataString(), encode(input, uuCode));
    }
    target.Clear();
    {
        TS_BufferStream buffered(&target);
        p.OutputStream = &buffered;
        p.Method = uuMime;
        p.Encode();
        EXPECT_EQ(target.DataString(), encode(input, uuMime));
    }
}

TEST(UUProcessor, Base64DecodeSkipsNoiseAndStopsAtBoundaryOrPadding)
{
    // A boundary line ends the data; nothing after it is decoded.
    EXPECT_EQ(decode("Zm9v\r\n--=_Boundary_1\r\nYmFy\r\n", uuMime), "foo");
    // Leading characters outside the alphabet are skipped; a leading "="
    // ends decoding.
    EXPECT_EQ(decode("  Zm9v\r\n\t-YmFy\r\n", uuMime), "foobar");
    // Between groups, characters outside the alphabet are skipped.
    EXPECT_EQ(decode("Zm9v YmFy\r\n", uuMime), "foobar");
    EXPECT_EQ(decode("Zm9v\r\n=YmFy\r\n", uuMime), "foo");
    // Short lines and "====" lines are skipped.
    EXPECT_EQ(decode("Zm\r\n====Zm9v\r\n\r\nZm9v\r\n", uuMime), "foo");
    // Padding ends the data after its line.
    EXPECT_EQ(decode("Zg== Zg==\r\nZm9v\r\n", uuMime), "ff");
    // Final groups without padding or line end; a lone character gives nothing.
    EXPECT_EQ(decode("Zm9vYmE", uuMime), "fooba");
    EXPECT_EQ(decode("Zm9vYg", uuMime), "foob");
    EXPECT_EQ(decode("Zm9vY", uuMime), "foo");
    // Decoding starts at the input's current position.
    EXPECT_EQ(decode("header\r\nZm9v\r\n", uuMime, 8), "foo");

    // Arbitrary bytes never make either decoder fail or run away.
    std::string noise = pattern(3000);
    for (size_t i = 0; i < noise.size(); i += 97)
        noise[i] = '\n';
    for (size_t start = 0; start < 40; start += 13) {
        EXPECT_LE(decode(noise.substr(start), uuMime).size(), noise.size());
        EXPECT_LE(decode(noise.substr(start), uuCode).size(), noise.size());
    }
}

TEST(UUProcessor, StdDecodeLinesAndClosingLine)
{
    // The blank is a zero like the grave accent; a closing line of length
    // zero and the line after it are not data.
    EXPECT_EQ(decode("!  \r\n`  \r\nend\r\n", uuCode), std::string(1, '\0'));
    EXPECT_EQ(decode("#86)C\r\n#86)C\r\n", uuCode), "abcabc");
    // A length character promising more than the line holds: only the bytes
    // the present characters carry.
    EXPECT_EQ(decode("M86)C\r\n", uuCode), "abc");
    EXPECT_EQ(decode("M86)\r\n", uuCode), "ab");
    // Lines of two characters or fewer are skipped.
    EXPECT_EQ(decode("ab\r\n#86)C\r\n", uuCode), "abc");

    TMemoryStream in("#86)C\r\n"), out;
    TNMUUProcessor p;
    p.Method = uuCode;
    p.InputStream = &in;
    p.OutputStream = &out;
    std::string events;
    p.OnBeginDecode = [&](QObject*) { events += "b" + out.DataString(); };
    p.OnEndDecode = [&](QObject*) { events += "e" + out.DataString(); };
    p.Decode();
    EXPECT_EQ(events, "beabc");
}

TEST(UUProcessor, ReadLnFromStreamBlocksAndRepositioning)
{
    std::string line;
    TMemoryStream s("abc\r\ndef\ngh");
    TNMUUProcessor::ReadLnFromStream(&s, line);
    EXPECT_EQ(line, "abc");
    EXPECT_EQ(s.GetPosition(), 5);
    // A bare line feed: the line loses its last character.
    TNMUUProcessor::ReadLnFromStream(&s, line);
    EXPECT_EQ(line, "de");
    EXPECT_EQ(s.GetPosition(), 9);
    // No line feed: the rest, and the position stops at the end.
    TNMUUProcessor::ReadLnFromStream(&s, line);
    EXPECT_EQ(line, "gh");
    EXPECT_EQ(s.GetPosition(), 11);
    TNMUUProcessor::ReadLnFromStream(&s, line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(s.GetPosition(), 11);

    // A line longer than the block: the block, then 61 bytes after its start.
    TMemoryStream longLine(std::string(250, 'x') + "\r\n");
    TNMUUProcessor::ReadLnFromStream(&longLine, line);
    EXPECT_EQ(line, std::string(200, 'x'));
    EXPECT_EQ(longLine.GetPosition(), 61);
    // A lone line feed gives an empty line.
    TMemoryStream lf("\nx");
    TNMUUProcessor::ReadLnFromStream(&lf, line);
    EXPECT_EQ(line, "");
    EXPECT_EQ(lf.GetPosition(), 1);
}

TEST(UUProcessor, TablesAndCharacterValues)
{
    EXPECT_EQ(TNMUUProcessor::UuDEC(' '), 0);
    EXPECT_EQ(TNMUUProcessor::UuDEC('`'), 0);
    EXPECT_EQ(TNMUUProcessor::UuDEC('M'), 45);
    EXPECT_EQ(TNMUUProcessor::UuDEC('_'), 63);
    EXPECT_EQ(UUTABLE[0], '`');
    EXPECT_EQ(UUTABLE[1], '!');
    EXPECT_EQ(UUTABLE[63], '_');
    for (int v = 1; v < 64; ++v)
        EXPECT_EQ(TNMUUProcessor::UuDEC(UUTABLE[v]), v);
    // base64Table is the exact reverse of MimeTable over "+".."z".
    for (int c = 43; c <= 122; ++c) {
        const char* hit = std::strchr(MimeTable, c);
        const int expected = c == '=' ? 64 : (hit ? static_cast<int>(hit - MimeTable) : 127);
        EXPECT_EQ(base64Table[c - 43], expected) << c;
    }
}
