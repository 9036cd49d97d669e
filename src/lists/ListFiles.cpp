#include "ListFiles.h"

#include "Classes.h"
#include "SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all bytes at offset 0 onwards; false (errno set) when the system
// refuses some.
bool pwriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t w = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

[[noreturn]] void raiseWriteError(int err)
{
    throw EStreamError(std::string("Stream write error. ") + std::strerror(err));
}

// Replaces the existing plain file `old` describes with a complete new file
// made beside it (in the folder of the file a link points to), which takes
// the name only once every byte is written. It gets the old file's owner
// and permissions. Returns false, having changed nothing, when no such file
// can be made there or the owner cannot be kept; raises, leaving the old
// file as it was, when the bytes cannot all be written.
bool replaceThroughNewFile(const std::string& fileName, const struct stat& old, const std::string& bytes)
{
    char* resolved = ::realpath(fileName.c_str(), nullptr);
    if (!resolved)
        return false;
    const std::string target(resolved);
    std::free(resolved);
    const size_t slash = target.rfind('/');
    std::string temp = target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto discard = [&] {
        ::close(fd);
        ::unlink(temp.c_str());
    };
    struct stat made {};
    if (::fstat(fd, &made) != 0
        || ((made.st_uid != old.st_uid || made.st_gid != old.st_gid) && ::fchown(fd, old.st_uid, old.st_gid) != 0)
        || ::fchmod(fd, old.st_mode & 07777) != 0) {
        discard();
        return false;
    }
    if (!pwriteAll(fd, bytes)) {
        const int err = errno;
        discard();
        raiseWriteError(err);
    }
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        raiseWriteError(err);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(err));
    }
    return true;
}

// Closes a descriptor when it goes out of scope.
class FdCloser {
public:
    explicit FdCloser(int fd) : fd_(fd) {}
    ~FdCloser()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FdCloser(const FdCloser&) = delete;
    FdCloser& operator=(const FdCloser&) = delete;
    // Keeps the descriptor open past the closer's end.
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

std::string quoted(const std::string& fileName) { return "\"" + fileName + "\""; }

// A file that cannot be written (EFCreateError) or read (EFOpenError), with
// the reason.
[[noreturn]] void raiseFileError(const std::string& fileName, bool forWriting, const std::string& reason)
{
    if (forWriting)
        throw EFCreateError("Cannot create file " + quoted(fileName) + ". " + reason);
    throw EFOpenError("Cannot open file " + quoted(fileName) + ". " + reason);
}

[[noreturn]] void raiseNotPlain(const std::string& fileName, bool forWriting, const struct stat& st)
{
    raiseFileError(fileName, forWriting, S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "Not a regular file");
}

// Opens an existing plain file to read it, or to read and write it, and
// fills st; a name that cannot be opened or is not a plain file is refused
// before a byte moves. The caller closes the descriptor.
int openPlainFile(const std::string& fileName, bool forWriting, struct stat& st)
{
    const int fd = ::open(fileName.c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        raiseFileError(fileName, forWriting, std::strerror(errno));
    FdCloser closer(fd);
    if (::fstat(fd, &st) != 0)
        raiseFileError(fileName, forWriting, std::strerror(errno));
    if (!S_ISREG(st.st_mode))
        raiseNotPlain(fileName, forWriting, st);
    return closer.release();
}

// Rewrites an existing plain file through its own name, for a file that
// cannot be replaced by a new one (other hard links, a folder the user may
// not write to). The old bytes are read first; room for a longer content is
// reserved before a byte changes, and when the new bytes still cannot all be
// written the old ones are put back, so the file is either the new content
// whole or the old one.
void overwriteInPlace(const std::string& fileName, const std::string& bytes)
{
    struct stat st {};
    const int fd = openPlainFile(fileName, true, st);
    FdCloser closer(fd);
    std::string old(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < old.size()) {
        const ssize_t r = ::pread(fd, old.data() + got, old.size() - got, static_cast<off_t>(got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            throw EStreamError("Cannot write file " + quoted(fileName) +
                               ": its present content cannot be read to keep it safe. " +
                               std::strerror(r < 0 ? errno : EIO));
        got += static_cast<size_t>(r);
    }
    const auto refuse = [&](int err, bool restored) {
        throw EStreamError("Cannot write file " + quoted(fileName) + " whole. " + std::strerror(err) +
                           (restored ? ". The file was left as it was." : ". Its old content could not be put back."));
    };
    const off_t newSize = static_cast<off_t>(bytes.size());
    if (bytes.size() > old.size() && ::fallocate(fd, 0, 0, newSize) != 0 && errno != EOPNOTSUPP) {
        // No room for the new content: nothing of the old one has changed.
        const int err = errno;
        refuse(err, ::ftruncate(fd, static_cast<off_t>(old.size())) == 0);
    }
    if (!pwriteAll(fd, bytes) || ::ftruncate(fd, newSize) != 0) {
        const int err = errno;
        // The old bytes go back into blocks the file already had.
        refuse(err, pwriteAll(fd, old) && ::ftruncate(fd, static_cast<off_t>(old.size())) == 0);
    }
}

// Writes bytes as the whole of fileName, creating or replacing it. A write
// that fails part way (a full disk, a size limit) must not cost the user the
// file being replaced, so an existing plain file is replaced by a complete
// new one, or, where that cannot be done (a folder the user may not write
// to, a file with other hard links), rewritten in place keeping its old
// bytes until the new ones are all written. A name that is not a plain file
// (a device, a FIFO, a folder) is refused. A file that did not exist before
// and cannot be written completely is removed again.
void writeWhole(const std::string& fileName, const std::string& bytes)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            raiseNotPlain(fileName, true, st);
        if (st.st_nlink == 1 && replaceThroughNewFile(fileName, st, bytes))
            return;
        overwriteInPlace(fileName, bytes);
        return;
    }
    struct stat link {};
    const bool nameExisted = ::lstat(fileName.c_str(), &link) == 0;
    TFileStream f(fileName, fmCreate);
    try {
        f.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    } catch (...) {
        if (!nameExisted)
            ::unlink(fileName.c_str());
        throw;
    }
}

// Reads a list file whole. Only a plain file is read: a device (/dev/zero
// never ends), a FIFO (it would wait for a writer for ever) or a folder is
// refused before a byte is read, and so is a file larger than
// kListFileMaxBytes, also one that grows beyond it while it is read.
std::string readListFile(const std::string& fileName)
{
    struct stat st {};
    const int fd = openPlainFile(fileName, false, st);
    FdCloser closer(fd);
    const auto tooLarge = [&] {
        throw EFOpenError("Cannot open file " + quoted(fileName) + ". It is larger than " +
                          std::to_string(kListFileMaxBytes >> 20) + " MiB, too large for a list.");
    };
    if (st.st_size > kListFileMaxBytes)
        tooLarge();
    std::string out;
    out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            throw EStreamError("Cannot read file " + quoted(fileName) + ". " + std::strerror(errno));
        if (n == 0)
            break;
        if (static_cast<int64_t>(out.size()) + n > kListFileMaxBytes)
            tooLarge();
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}

} // namespace

std::string ListText(const std::vector<std::string>& texts)
{
    size_t total = 0;
    for (const auto& t : texts)
        total += t.size() + 2;
    std::string out;
    out.reserve(total);
    for (const auto& t : texts) {
        out += t;
        out += "\r\n";
    }
    return out;
}

std::string ListText(TCheckListModel& list)
{
    const int n = list.Count();
    size_t total = 0;
    for (int i = 0; i < n; ++i)
        total += list.Text(i).size() + 2;
    std::string out;
    out.reserve(total);
    for (int i = 0; i < n; ++i) {
        out += list.Text(i);
        out += "\r\n";
    }
    return out;
}

std::vector<std::string> SplitListText(const std::string& text)
{
    std::vector<std::string> lines;
    const size_t n = std::min(text.size(), text.find('\0'));
    const char* s = text.data();
    size_t i = 0;
    while (i < n) {
        size_t j = i;
        while (j < n && s[j] != '\r' && s[j] != '\n')
            ++j;
        lines.emplace_back(s + i, j - i);
        if (j < n && s[j] == '\r' && j + 1 < n && s[j + 1] == '\n')
            j += 2;
        else if (j < n)
            ++j;
        i = j;
    }
    return lines;
}

void SaveListText(TCheckListModel& list, const std::string& fileName) { writeWhole(fileName, ListText(list)); }

int LoadListText(TCheckListModel& list, const std::string& fileName)
{
    list.Assign(SplitListText(readListFile(fileName)));
    return list.Count();
}

std::string AdjustFileName(const std::string& fileName, const std::string& ext)
{
    if (fileName.size() >= 3 && UpperCase(fileName.substr(fileName.size() - 3)) == UpperCase(ext))
        return fileName;
    return fileName + "." + ext;
}

bool RewriteAsRow(const std::string& fileName)
{
    try {
        TFileStream f(fileName, fmOpenReadWrite);
        const int64_t size = f.GetSize();
        std::string bytes(static_cast<size_t>(size), '\0');
        f.ReadBuffer(bytes.data(), size);
        bool changed = false;
        for (size_t k = 0; k + 1 < bytes.size(); ++k) {
            const char a = bytes[k], b = bytes[k + 1];
            if ((a == '\r' && b == '\n') || (a == '\n' && b == '\r')) {
                bytes[k] = ';';
                bytes[k + 1] = ' ';
                changed = true;
                ++k;
            }
        }
        if (!changed)
            return true;
        f.SetPosition(0);
        f.WriteBuffer(bytes.data(), size);
        return true;
    } catch (const Exception&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

std::string SaveAddressText(TCheckListModel& list, const std::string& chosenName, bool onRow)
{
    const std::string name = AdjustFileName(chosenName, "txt");
    SaveListText(list, name);
    if (onRow)
        RewriteAsRow(name);
    return name;
}

std::string SaveAddressBook(TCheckListModel& list, const std::string& chosenName)
{
    const std::string name = AdjustFileName(chosenName, "csv");
    const std::string bytes = kAddressBookHeader + "\r\n" + ListText(list);
    writeWhole(name, bytes);
    return name;
}

int LoadAddressBook(TCheckListModel& list, const std::string& fileName)
{
    std::vector<std::string> lines = SplitListText(readListFile(fileName));
    // All lines equal to the header are alike, so removing the first one in
    // file order leaves the same entries as removing the first in list order.
    const auto header = std::find(lines.begin(), lines.end(), kAddressBookHeader);
    if (header != lines.end())
        lines.erase(header);
    list.Assign(std::move(lines));
    return list.Count();
}
