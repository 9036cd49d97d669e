// The list-text splitter and the address-book reader. A list text split and
// joined again gives the same entries; no entry holds a line break or a zero
// byte; the address-book reader loads the file's lines less its first header
// line.
#include "Classes.h"
#include "ListFiles.h"
#include "FuzzCheck.h"

#include <algorithm>

#include <unistd.h>

namespace {

std::string scratchFile()
{
    static const std::string name = [] {
        char path[] = "/tmp/corvina-fuzz-list-XXXXXX";
        const int fd = mkstemp(path);
        FUZZ_CHECK(fd >= 0);
        close(fd);
        return std::string(path);
    }();
    return name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes = FuzzBytes(data, size);
    const std::vector<std::string> entries = SplitListText(bytes);
    for (const std::string& e : entries)
        FUZZ_CHECK(e.find_first_of(std::string("\r\n\0", 3)) == std::string::npos);
    const std::string joined = ListText(entries);
    FUZZ_CHECK(SplitListText(joined) == entries);
    if (bytes.find('\0') == std::string::npos && bytes.find('\r') == std::string::npos && !bytes.empty() &&
        bytes.back() == '\n')
        FUZZ_CHECK(joined.size() == bytes.size() + entries.size());

    const std::string file = scratchFile();
    {
        TFileStream out(file, fmCreate);
        out.WriteString(bytes);
    }
    TCheckListModel list;
    const int count = LoadAddressBook(list, file);
    const bool hasHeader = std::find(entries.begin(), entries.end(), kAddressBookHeader) != entries.end();
    FUZZ_CHECK(count == static_cast<int>(entries.size()) - (hasHeader ? 1 : 0));
    FUZZ_CHECK(list.Count() == count);
    return 0;
}
