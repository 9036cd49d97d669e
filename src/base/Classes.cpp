#include "Classes.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

// ---- TStream -------------------------------------------------------------

int64_t TStream::GetSize()
{
    const int64_t pos = Seek(0, soFromCurrent);
    const int64_t size = Seek(0, soFromEnd);
    Seek(pos, soFromBeginning);
    return size;
}

void TStream::SetSize(int64_t) { throw EStreamError("Stream does not support SetSize"); }

void TStream::ReadBuffer(void* buffer, int64_t count)
{
    if (count != 0 && Read(buffer, count) != count)
        throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, int64_t count)
{
    if (count != 0 && Write(buffer, count) != count)
        throw EStreamError("Stream write error");
}

int64_t TStream::CopyFrom(TStream& source, int64_t count)
{
    if (count == 0) {
        source.SetPosition(0);
        count = source.GetSize();
    }
    std::vector<char> buf(static_cast<size_t>(std::min<int64_t>(count, 65536) > 0 ? std::min<int64_t>(count, 65536) : 1));
    int64_t done = 0;
    while (done < count) {
        const int64_t n = std::min<int64_t>(count - done, static_cast<int64_t>(buf.size()));
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        done += n;
    }
    return done;
}

std::string TStream::ReadRest()
{
    std::string out;
    char buf[65536];
    for (;;) {
        const int64_t n = Read(buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// ---- TMemoryStream -------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count)
{
    if (count <= 0 || pos_ >= static_cast<int64_t>(data_.size()))
        return 0;
    const int64_t n = std::min<int64_t>(count, static_cast<int64_t>(data_.size()) - pos_);
    std::memcpy(buffer, data_.data() + pos_, static_cast<size_t>(n));
    pos_ += n;
    return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count)
{
    if (count <= 0)
        return 0;
    const size_t end = static_cast<size_t>(pos_ + count);
    if (end > data_.size())
        data_.resize(end);
    std::memcpy(data_.data() + pos_, buffer, static_cast<size_t>(count));
    pos_ += count;
    return count;
}

int64_t TMemoryStream::Seek(int64_t offset, uint16_t origin)
{
    switch (origin) {
    case soFromBeginning:
        pos_ = offset;
        break;
    case soFromCurrent:
        pos_ += offset;
        break;
    case soFromEnd:
        pos_ = static_cast<int64_t>(data_.size()) + offset;
        break;
    default:
        throw EStreamError("Invalid seek origin");
    }
    if (pos_ < 0)
        pos_ = 0;
    return pos_;
}

void TMemoryStream::SetSize(int64_t newSize)
{
    data_.resize(static_cast<size_t>(std::max<int64_t>(newSize, 0)));
    if (pos_ > newSize)
        pos_ = newSize;
}

void TMemoryStream::LoadFromFile(const std::string& fileName)
{
    data_ = ReadFileBytes(fileName);
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName)
{
    TFileStream f(fileName, fmCreate);
    f.WriteBuffer(data_.data(), static_cast<int64_t>(data_.size()));
}

// ---- TFileStream ---------------------------------------------------------

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName)
{
    if (mode == fmCreate) {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
        return;
    }
    int flags = O_RDONLY;
    if ((mode & 3) == fmOpenWrite)
        flags = O_WRONLY;
    else if ((mode & 3) == fmOpenReadWrite)
        flags = O_RDWR;
    fd_ = ::open(fileName.c_str(), flags | O_CLOEXEC);
    if (fd_ >= 0) {
        struct stat st {};
        if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
            ::close(fd_);
            fd_ = -1;
            errno = EISDIR;
        }
    }
    if (fd_ < 0)
        throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && done == 0)
            return -1;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count)
{
    int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    return done;
}

int64_t TFileStream::Seek(int64_t offset, uint16_t origin)
{
    int whence = SEEK_SET;
    if (origin == soFromCurrent)
        whence = SEEK_CUR;
    else if (origin == soFromEnd)
        whence = SEEK_END;
    else if (origin != soFromBeginning)
        throw EStreamError("Invalid seek origin");
    const off_t r = ::lseek(fd_, static_cast<off_t>(offset), whence);
    return r < 0 ? -1 : static_cast<int64_t>(r);
}

int64_t TFileStream::GetSize()
{
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return 0;
    return static_cast<int64_t>(st.st_size);
}

void TFileStream::SetSize(int64_t newSize)
{
    if (::ftruncate(fd_, static_cast<off_t>(newSize)) != 0)
        throw EStreamError(std::string("Stream set size error. ") + std::strerror(errno));
}

bool FileExists(const std::string& fileName)
{
    struct stat st {};
    return ::stat(fileName.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

std::string ReadFileBytes(const std::string& fileName)
{
    TFileStream f(fileName, fmOpenRead);
    std::string out;
    const int64_t size = f.GetSize();
    if (size > 0)
        out.reserve(static_cast<size_t>(size));
    char buf[65536];
    for (;;) {
        const int64_t n = f.Read(buf, sizeof buf);
        if (n < 0)
            throw EStreamError("Cannot read file \"" + fileName + "\". " + std::strerror(errno));
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

// ---- TStringList ---------------------------------------------------------

const std::string& TStringList::Get(int index) const
{
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<size_t>(index)];
}

void TStringList::Put(int index, const std::string& s)
{
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    items_[static_cast<size_t>(index)] = s;
}

int TStringList::Add(const std::string& s)
{
    if (!sorted_) {
        items_.push_back(s);
        return Count() - 1;
    }
    const auto it = std::upper_bound(items_.begin(), items_.end(), s,
                                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    const auto idx = it - items_.begin();
    items_.insert(it, s);
    return static_cast<int>(idx);
}

void TStringList::Insert(int index, const std::string& s)
{
    if (index < 0 || index > Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    items_.insert(items_.begin() + index, s);
}

void TStringList::Delete(int index)
{
    if (index < 0 || index >= Count())
        throw Exception("List index out of bounds (" + std::to_string(index) + ")");
    items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(const std::string& s) const
{
    for (int i = 0; i < Count(); ++i)
        if (SameText(items_[static_cast<size_t>(i)], s))
            return i;
    return -1;
}

void TStringList::SetSorted(bool sorted)
{
    if (sorted && !sorted_)
        std::stable_sort(items_.begin(), items_.end(),
                         [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    sorted_ = sorted;
}

std::string TStringList::Text() const
{
    size_t total = 0;
    for (const auto& s : items_)
        total += s.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& s : items_) {
        out += s;
        out += "\r\n";
    }
    return out;
}

void TStringList::SetText(const std::string& text)
{
    items_.clear();
    // A zero byte ends the text, as it would in a zero-terminated string.
    const size_t n = std::min(text.size(), text.find('\0'));
    size_t i = 0;
    while (i < n) {
        size_t j = i;
        while (j < n && text[j] != '\r' && text[j] != '\n')
            ++j;
        items_.emplace_back(text, i, j - i);
        if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n')
            j += 2;
        else if (j < n)
            j += 1;
        i = j;
    }
    if (sorted_)
        std::stable_sort(items_.begin(), items_.end(),
                         [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
}
