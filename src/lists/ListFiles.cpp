#include "ListFiles.h"

#include "Classes.h"
#include "SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Writes all bytes to fd; false (errno set) when the system refuses some.
bool writeAll(int fd, const char* p, size_t n)
{
    while (n > 0) {
        const ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            if (w == 0)
                errno = EIO;
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
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
    if (!writeAll(fd, bytes.data(), bytes.size())) {
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

// Writes bytes as the whole of fileName, creating or replacing it. A write
// that fails part way (a full disk, a size limit) must not cost the user the
// file being replaced, so an existing plain file is replaced only by a
// complete new one. Where that cannot be done (a folder the user may not
// write to, a file with other hard links, a device) the file is written in
// place; a file that did not exist before and cannot be written completely
// is removed again.
void writeWhole(const std::string& fileName, const std::string& bytes)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1
        && replaceThroughNewFile(fileName, st, bytes))
        return;
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
    list.Assign(SplitListText(ReadFileBytes(fileName)));
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
    std::vector<std::string> lines = SplitListText(ReadFileBytes(fileName));
    // All lines equal to the header are alike, so removing the first one in
    // file order leaves the same entries as removing the first in list order.
    const auto header = std::find(lines.begin(), lines.end(), kAddressBookHeader);
    if (header != lines.end())
        lines.erase(header);
    list.Assign(std::move(lines));
    return list.Count();
}
