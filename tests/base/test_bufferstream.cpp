#include "Nms_stream.h"

#include <gtest/gtest.h>

namespace {

// A memory stream that records the size of every write and stops taking
// bytes once it holds `limit` bytes.
class RecordingStream : public TMemoryStream {
public:
    explicit RecordingStream(std::string initial = {}, int64_t limit = -1)
        : TMemoryStream(std::move(initial)), limit_(limit)
    {
    }
    int64_t Write(const void* buffer, int64_t count) override
    {
        writes.push_back(count);
        if (limit_ >= 0)
            count = std::max<int64_t>(0, std::min(count, limit_ - GetPosition()));
        return TMemoryStream::Write(buffer, count);
    }
    std::vector<int64_t> writes;

private:
    int64_t limit_;
};

std::string bytes(size_t n)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 7 + i / 256);
    return s;
}

} // namespace

TEST(BufferStream, LargeWriteFlushesFullBufferAtOnceAndRestLater)
{
    const std::string data = bytes(40000);
    for (int finish = 0; finish < 3; ++finish) {
        RecordingStream target;
        int flushes = 0;
        {
            TS_BufferStream s(&target);
            s.OnFlushBuffer = [&](TS_BufferStream* sender) {
                EXPECT_EQ(sender, &s);
                ++flushes;
            };
            EXPECT_EQ(s.Write(data.data(), 40000), 40000);
            EXPECT_EQ(target.writes, (std::vector<int64_t>{32768}));
            EXPECT_EQ(s.State(), bsWrite);
            EXPECT_EQ(s.GetBufPosition(), 7232);
            EXPECT_EQ(s.GetPosition(), 40000);
            if (finish == 0) {
                EXPECT_EQ(s.Seek(0, soFromBeginning), 0);
            } else if (finish == 1) {
                EXPECT_TRUE(s.FlushBuffer());
            }
            // finish == 2: the destructor flushes.
        }
        EXPECT_EQ(target.writes, (std::vector<int64_t>{32768, 7232})) << finish;
        EXPECT_EQ(target.DataString(), data);
        EXPECT_EQ(flushes, 2);
    }
}

TEST(BufferStream, WrappedStreamThatStopsTakingBytes)
{
    const std::string data = bytes(40000);
    {
        RecordingStream target({}, 1000);
        TS_BufferStream s(&target);
        // Only the bytes that reached the wrapped stream count as taken.
        EXPECT_EQ(s.Write(data.data(), 40000), 1000);
        EXPECT_THROW(s.WriteBuffer(data.data(), 40000), EStreamError);
        EXPECT_EQ(target.DataString(), data.substr(0, 1000));
    }
    {
        RecordingStream target({}, 10);
        TS_BufferStream s(&target);
        EXPECT_EQ(s.Write(data.data(), 100), 100); // still in the buffer
        EXPECT_FALSE(s.FlushBuffer());
        EXPECT_EQ(target.DataString(), data.substr(0, 10));
        EXPECT_EQ(s.Write(data.data(), 5), 5);
        try {
            s.Seek(0, soFromBeginning);
            ADD_FAILURE() << "no exception";
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message, "Seek error");
        }
    }
}

TEST(BufferStream, ReadPutBackAndEof)
{
    TMemoryStream target("hello");
    TS_BufferStream s(&target);
    int fills = 0;
    s.OnFillBuffer = [&](TS_BufferStream*) { ++fills; };
    try {
        s.PutBack('x');
        ADD_FAILURE() << "no exception";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message, "PutBack overflow");
    }
    EXPECT_FALSE(s.IsEof());
    char c = 0;
    ASSERT_EQ(s.Read(&c, 1), 1);
    EXPECT_EQ(c, 'h');
    EXPECT_EQ(s.GetBufPosition(), -4);
    EXPECT_EQ(s.GetPosition(), 1);
    s.PutBack('X');
    EXPECT_THROW(s.PutBack('Y'), EStreamError);
    char buf[10] = {};
    EXPECT_EQ(s.Read(buf, 10), 5);
    EXPECT_EQ(std::string(buf, 5), "Xello");
    EXPECT_TRUE(s.IsEof());
    EXPECT_EQ(s.Read(buf, 10), 0);
    EXPECT_EQ(fills, 3); // the first read, and two that found nothing more

    TMemoryStream empty;
    TS_BufferStream e(&empty);
    EXPECT_TRUE(e.IsEof());
    EXPECT_FALSE(e.FillBuffer());
    // Nothing read from a write buffer can be given back.
    e.Write("ab", 2);
    EXPECT_THROW(e.PutBack('x'), EStreamError);
}

TEST(BufferStream, SeekOriginsAndPendingBytes)
{
    RecordingStream target("0123456789");
    TS_BufferStream s(&target);
    EXPECT_EQ(s.Seek(0, soFromEnd), 10);
    EXPECT_EQ(s.Seek(3, soFromEnd), 7);
    char c = 0;
    s.Read(&c, 1);
    EXPECT_EQ(c, '7');
    EXPECT_EQ(s.Seek(-5, soFromCurrent), 3);
    s.Read(&c, 1);
    EXPECT_EQ(c, '3');
    try {
        s.Seek(0, 3);
        ADD_FAILURE() << "no exception";
    } catch (const EStreamError&) {
        ADD_FAILURE() << "a general exception was expected";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message, "Invalid seek origin = 3");
    }

    // Writing after reading puts the bytes at the logical position.
    s.Write("ab", 2);
    EXPECT_EQ(s.GetPosition(), 6);
    // A seek to the same position changes nothing, not even a flush.
    EXPECT_EQ(s.Seek(0, soFromCurrent), 6);
    EXPECT_TRUE(target.writes.empty());
    EXPECT_EQ(s.Seek(0, soFromBeginning), 0);
    EXPECT_EQ(target.writes, (std::vector<int64_t>{2}));
    EXPECT_EQ(target.DataString(), "0123ab6789");

    // Pending bytes past the wrapped stream's end count towards the size.
    s.Seek(0, soFromEnd);
    s.Write("XYZ", 3);
    EXPECT_EQ(target.GetSize(), 10);
    EXPECT_EQ(s.GetSize(), 13);
    // Already there: the bytes stay pending.
    EXPECT_EQ(s.Seek(0, soFromEnd), 13);
    EXPECT_EQ(target.DataString(), "0123ab6789");

    // Reading after writing flushes first and reads on from there.
    s.Seek(2, soFromBeginning);
    s.Write("__", 2);
    char buf[4] = {};
    EXPECT_EQ(s.Read(buf, 4), 4);
    EXPECT_EQ(std::string(buf, 4), "ab67");
    EXPECT_EQ(target.DataString(), "01__ab6789XYZ");
}

TEST(BufferStream, ReadsAndWritesAcrossManyBuffers)
{
    const std::string data = bytes(100000);
    TMemoryStream target(data);
    TS_BufferStream s(&target);
    std::string got;
    char buf[777];
    for (;;) {
        const int64_t n = s.Read(buf, sizeof buf);
        if (n == 0)
            break;
        got.append(buf, static_cast<size_t>(n));
    }
    EXPECT_EQ(got, data);
    EXPECT_EQ(s.GetPosition(), 100000);

    TMemoryStream out;
    {
        TS_BufferStream w(&out);
        for (size_t i = 0; i < data.size(); i += 61)
            w.WriteBuffer(data.data() + i, static_cast<int64_t>(std::min<size_t>(61, data.size() - i)));
    }
    EXPECT_EQ(out.DataString(), data);
}
