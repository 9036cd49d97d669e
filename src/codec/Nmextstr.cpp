#include "Nmextstr.h"

#include "SysUtils.h"

namespace {

// The text before the first ":", empty when there is none.
std::string nameOf(const std::string& line)
{
    const size_t colon = line.find(':');
    return colon == std::string::npos ? std::string() : line.substr(0, colon);
}

} // namespace

int TExStringList::IndexOfName(const std::string& name) const
{
    if (!Sorted()) {
        for (int i = 0; i < Count(); ++i) {
            const std::string& line = items_[static_cast<size_t>(i)];
            if (line.find(':') != std::string::npos && CompareText(nameOf(line), name) == 0)
                return i;
        }
        return -1;
    }
    int low = 0;
    int high = Count() - 1;
    while (low <= high) {
        const int middle = (low + high) / 2;
        const int c = CompareText(nameOf(items_[static_cast<size_t>(middle)]), name);
        if (c == 0)
            return middle;
        if (c < 0)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return -1;
}

std::string TExStringList::GetValue(const std::string& name) const
{
    const int i = IndexOfName(name);
    if (i < 0)
        return {};
    const std::string& line = items_[static_cast<size_t>(i)];
    const size_t start = std::min(line.size(), name.size() + 1);
    std::string value = line.substr(start);
    if (!value.empty() && value[0] == ' ')
        value.erase(0, 1);
    return value;
}

void TExStringList::SetValue(const std::string& name, const std::string& value)
{
    const int i = IndexOfName(name);
    if (value.empty()) {
        if (i >= 0)
            Delete(i);
        return;
    }
    const std::string line = name + ": " + value;
    if (i < 0) {
        if (Sorted())
            Add(line);
        else
            items_.push_back(line);
        return;
    }
    if (Sorted()) {
        // Keep the order the binary search relies on.
        Delete(i);
        Add(line);
    } else {
        Put(i, line);
    }
}
