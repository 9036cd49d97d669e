// The small stream classes and the ordered string list that the network
// components, the coders and the list files share.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "SysUtils.h"

// Seek origins, as the streams number them.
enum : uint16_t { soFromBeginning = 0, soFromCurrent = 1, soFromEnd = 2 };

// An abstract byte stream with a position and a size.
class TStream {
public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read (-1 when the
    // system reports an error before any byte was read).
    virtual int64_t Read(void* buffer, int64_t count) = 0;
    // Writes up to count bytes; returns how many were taken.
    virtual int64_t Write(const void* buffer, int64_t count) = 0;
    // Moves the position; returns the new position.
    virtual int64_t Seek(int64_t offset, uint16_t origin) = 0;

    virtual int64_t GetSize();
    virtual void SetSize(int64_t newSize);
    int64_t GetPosition() { return Seek(0, soFromCurrent); }
    void SetPosition(int64_t pos) { Seek(pos, soFromBeginning); }

    // All-or-nothing forms: raise EStreamError "Stream read error" /
    // "Stream write error" when fewer bytes move than asked.
    void ReadBuffer(void* buffer, int64_t count);
    void WriteBuffer(const void* buffer, int64_t count);
    // Copies count bytes from source (its whole content from position 0 when
    // count is 0); returns the bytes copied.
    int64_t CopyFrom(TStream& source, int64_t count);

    // Convenience for byte strings.
    void WriteString(const std::string& s) { WriteBuffer(s.data(), static_cast<int64_t>(s.size())); }
    // The bytes from the current position to the end.
    std::string ReadRest();
};

// A stream held in memory.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string initial) : data_(std::move(initial)) {}

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    int64_t GetSize() override { return static_cast<int64_t>(data_.size()); }
    void SetSize(int64_t newSize) override;

    void Clear()
    {
        data_.clear();
        pos_ = 0;
    }
    const std::string& DataString() const { return data_; }
    std::string& Data() { return data_; }
    void LoadFromFile(const std::string& fileName);
    void SaveToFile(const std::string& fileName);

private:
    std::string data_;
    int64_t pos_ = 0;
};

// File open modes of TFileStream.
enum TFileMode : uint16_t {
    fmOpenRead = 0x0000,
    fmOpenWrite = 0x0001,
    fmOpenReadWrite = 0x0002,
    fmCreate = 0xFF00, // create or truncate, then read and write
};

// A stream over a file. Construction raises EFOpenError (opening) or
// EFCreateError (creating) with the system's reason when the file cannot be
// used.
class TFileStream : public TStream {
public:
    TFileStream(const std::string& fileName, uint16_t mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    int64_t Read(void* buffer, int64_t count) override;
    int64_t Write(const void* buffer, int64_t count) override;
    int64_t Seek(int64_t offset, uint16_t origin) override;
    int64_t GetSize() override;
    void SetSize(int64_t newSize) override;
    const std::string& FileName() const { return fileName_; }

private:
    std::string fileName_;
    int fd_ = -1;
};

// Whether a file exists (and is not a directory).
bool FileExists(const std::string& fileName);
// Reads a whole file into bytes; raises EFOpenError when it cannot open it
// and EStreamError when reading it fails part way (never a part of it).
std::string ReadFileBytes(const std::string& fileName);

// An ordered list of byte strings with optional case-insensitive sorting.
class TStringList {
public:
    virtual ~TStringList() = default;

    int Count() const { return static_cast<int>(items_.size()); }
    const std::string& Get(int index) const;
    void Put(int index, const std::string& s);
    const std::string& operator[](int index) const { return Get(index); }

    // Appends (or, when sorted, inserts at the sorted place); returns the index.
    virtual int Add(const std::string& s);
    void Insert(int index, const std::string& s);
    void Delete(int index);
    void Clear() { items_.clear(); }
    // Index of the first line equal to s without regard to case, or -1.
    int IndexOf(const std::string& s) const;

    bool Sorted() const { return sorted_; }
    void SetSorted(bool sorted);

    // Every line followed by CR LF.
    std::string Text() const;
    // Splits at CR LF, lone CR and lone LF; a final line end adds no line.
    void SetText(const std::string& text);

    const std::vector<std::string>& Lines() const { return items_; }

protected:
    std::vector<std::string> items_;
    bool sorted_ = false;
};
