// A read/write buffer in front of another stream: many small reads and
// writes become transfers of up to BufferSize bytes on the wrapped stream.
#pragma once

#include "Classes.h"

#include <cstdint>
#include <functional>
#include <memory>

// The buffer size a TS_BufferStream takes at construction.
extern int BufferSize;

enum TS_BufferState {
    bsUnknown, // the buffer holds nothing
    bsRead,    // the buffer holds bytes read ahead
    bsWrite,   // the buffer holds bytes not yet written
};

class TS_BufferStream : public TStream {
public:
    using TNotifyEvent = std::function<void(TS_BufferStream* Sender)>;

    // The wrapped stream is not owned and must outlive this stream.
    explicit TS_BufferStream(TStream* stream);
    // Flushes pending writes; the wrapped stream stays open.
    ~TS_BufferStream() override;
    TS_BufferStream(const TS_BufferStream&) = delete;
    TS_BufferStream& operator=(const TS_BufferStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    // Returns the bytes that reached the wrapped stream or wait in the buffer;
    // fewer than count when the wrapped stream stops taking bytes.
    int64_t Write(const void* buffer, int64_t count) override;
    // Origins 0 (beginning), 1 (current) and 2 (end: the target is the size
    // minus offset, so Seek(0, 2) gives the size). Other origins raise
    // Exception "Invalid seek origin = %d".
    int64_t Seek(int64_t offset, uint16_t origin) override;
    // The size including bytes still waiting in the buffer.
    int64_t GetSize() override;

    // Reads the next block from the wrapped stream; true when bytes were read.
    virtual bool FillBuffer();
    // Gives one byte back so that the next Read returns it; only bytes read
    // from the current buffer can be given back ("PutBack overflow").
    virtual void PutBack(char byte);
    virtual void AfterFillBuffer();
    virtual void AfterFlushBuffer();
    // Writes the pending bytes; true when the wrapped stream took all of them.
    virtual bool FlushBuffer();

    // Offset of the logical position from the wrapped stream's position:
    // minus the bytes read ahead, or plus the bytes not yet written.
    int64_t GetBufPosition() const;
    bool IsEof();

    TS_BufferState State() const { return state_; }

    TNotifyEvent OnFillBuffer;  // after every fill
    TNotifyEvent OnFlushBuffer; // after every flush

private:
    // The wrapped stream's position plus the buffered offset.
    int64_t logicalPosition() { return stream_->GetPosition() + GetBufPosition(); }

    TStream* stream_;
    std::unique_ptr<char[]> buffer_;
    char* cur_ = nullptr; // next byte to read or write; null until first use and after a seek
    char* end_ = nullptr; // end of valid data (reading) or of free room (writing)
    int64_t size_;
    TS_BufferState state_ = bsUnknown;
    int64_t lastFlushShort_ = 0; // bytes the last flush could not deliver
};
