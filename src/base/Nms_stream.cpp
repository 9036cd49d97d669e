#include "Nms_stream.h"

#include "SysUtils.h"

#include <algorithm>
#include <cstring>

int BufferSize = 32768;

TS_BufferStream::TS_BufferStream(TStream* stream)
    : stream_(stream), buffer_(new char[static_cast<size_t>(std::max(BufferSize, 1))]), size_(std::max(BufferSize, 1))
{
    end_ = buffer_.get() + size_;
}

TS_BufferStream::~TS_BufferStream()
{
    if (state_ == bsWrite) {
        try {
            FlushBuffer();
        } catch (...) {
            // A destructor cannot report the wrapped stream's failure.
        }
    }
}

int64_t TS_BufferStream::GetBufPosition() const
{
    switch (state_) {
    case bsRead:
        return cur_ - end_;
    case bsWrite:
        return cur_ - buffer_.get();
    default:
        return 0;
    }
}

bool TS_BufferStream::FillBuffer()
{
    const int64_t n = std::max<int64_t>(stream_->Read(buffer_.get(), size_), 0);
    cur_ = buffer_.get();
    end_ = buffer_.get() + n;
    state_ = n > 0 ? bsRead : bsUnknown;
    AfterFillBuffer();
    return n > 0;
}

bool TS_BufferStream::FlushBuffer()
{
    const int64_t pending = cur_ ? cur_ - buffer_.get() : 0;
    const int64_t written = pending > 0 ? std::max<int64_t>(stream_->Write(buffer_.get(), pending), 0) : 0;
    lastFlushShort_ = pending - written;
    cur_ = buffer_.get();
    state_ = bsUnknown;
    AfterFlushBuffer();
    return written == pending;
}

void TS_BufferStream::AfterFillBuffer()
{
    if (OnFillBuffer)
        OnFillBuffer(this);
}

void TS_BufferStream::AfterFlushBuffer()
{
    if (OnFlushBuffer)
        OnFlushBuffer(this);
}

int64_t TS_BufferStream::Read(void* buffer, int64_t count)
{
    if (state_ == bsWrite)
        FlushBuffer();
    auto* dest = static_cast<char*>(buffer);
    int64_t done = 0;
    while (count > 0) {
        if (state_ != bsRead || cur_ >= end_) {
            if (!FillBuffer())
                break;
        }
        const int64_t n = std::min<int64_t>(count, end_ - cur_);
        std::memcpy(dest + done, cur_, static_cast<size_t>(n));
        cur_ += n;
        done += n;
        count -= n;
    }
    return done;
}

int64_t TS_BufferStream::Write(const void* buffer, int64_t count)
{
    if (state_ == bsRead) {
        // Drop the bytes read ahead: the wrapped stream goes back to the
        // logical position, where the written bytes belong.
        stream_->Seek(GetBufPosition(), soFromCurrent);
        state_ = bsUnknown;
    }
    if (state_ != bsWrite) {
        cur_ = buffer_.get();
        end_ = buffer_.get() + size_;
    }
    const auto* src = static_cast<const char*>(buffer);
    int64_t done = 0;
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, end_ - cur_);
        std::memcpy(cur_, src + done, static_cast<size_t>(n));
        cur_ += n;
        done += n;
        count -= n;
        if (cur_ == end_) {
            if (!FlushBuffer()) {
                // The bytes the wrapped stream refused are the tail of the
                // buffer, so they include the last bytes of this call: those
                // are not counted as taken.
                done -= std::min(done, lastFlushShort_);
                break;
            }
        }
    }
    state_ = cur_ != nullptr && cur_ > buffer_.get() ? bsWrite : bsUnknown;
    return done;
}

int64_t TS_BufferStream::GetSize()
{
    const int64_t size = stream_->GetSize();
    if (state_ == bsWrite)
        return std::max(size, logicalPosition());
    return size;
}

int64_t TS_BufferStream::Seek(int64_t offset, uint16_t origin)
{
    const int64_t current = logicalPosition();
    int64_t target = 0;
    switch (origin) {
    case soFromBeginning:
        target = offset;
        break;
    case soFromCurrent:
        target = current + offset;
        break;
    case soFromEnd:
        // Bytes still waiting in the buffer count towards the size.
        target = GetSize() - offset;
        break;
    default:
        throw Exception(Format("Invalid seek origin = %d", static_cast<int>(origin)));
    }
    if (target == current)
        return current;
    if (state_ == bsWrite && !FlushBuffer())
        throw EStreamError("Seek error");
    cur_ = nullptr;
    state_ = bsUnknown;
    return stream_->Seek(target, soFromBeginning);
}

void TS_BufferStream::PutBack(char byte)
{
    // Only bytes read ahead can be given back; in write mode the byte before
    // the pointer is unwritten data, not something read.
    if (state_ != bsRead || cur_ == nullptr || cur_ == buffer_.get())
        throw EStreamError("PutBack overflow");
    --cur_;
    *cur_ = byte;
}

bool TS_BufferStream::IsEof()
{
    const bool exhausted = state_ != bsRead || cur_ >= end_;
    return exhausted && stream_->GetPosition() == stream_->GetSize();
}
