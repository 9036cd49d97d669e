#include "ListFiles.h"

#include "Classes.h"
#include "SysUtils.h"

#include <algorithm>
#include <new>

namespace {

void writeWhole(const std::string& fileName, const std::string& bytes)
{
    TFileStream f(fileName, fmCreate);
    f.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
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
