// A string list of header lines "name: value" with access by name.
#pragma once

#include "Classes.h"

#include <string>

class TExStringList : public TStringList {
public:
    // Index of the line whose name (the text before its first ":") equals
    // name without regard to case, or -1. An unsorted list is searched from
    // the top; a sorted list by binary search over the lines' names.
    int IndexOfName(const std::string& name) const;
    // The value of the named line with one leading blank removed; empty when
    // there is no such line.
    std::string GetValue(const std::string& name) const;
    // A non-empty value replaces the named line by name + ": " + value, or
    // adds it at the end; an empty value deletes the named line.
    void SetValue(const std::string& name, const std::string& value);
};
