// The page buffer: the text of the last downloaded page with a selection that
// the scanners use as their cursor, and a case-insensitive forward find.
#pragma once

#include <cstdint>
#include <string>

class TPageBuffer {
public:
    const std::string& Text() const { return text_; }
    int64_t Length() const { return static_cast<int64_t>(text_.size()); }

    // Replaces the whole text. The text ends at its first zero byte (the
    // buffer takes a zero-terminated text); the selection becomes empty at 0.
    void SetText(const std::string& text);
    void SetText(std::string&& text);
    void Clear();

    int64_t SelStart() const { return selStart_; }
    int64_t SelLength() const { return selLength_; }
    void SetSelStart(int64_t start);
    void SetSelLength(int64_t length);
    void Select(int64_t start, int64_t length)
    {
        SetSelStart(start);
        SetSelLength(length);
    }

    // Position of the first match of what at or after start, without regard
    // to letter case (Latin-1 letters folded); -1 when there is none. An
    // empty what is found nowhere.
    int64_t FindText(const std::string& what, int64_t start) const;

private:
    std::string text_;
    int64_t selStart_ = 0;
    int64_t selLength_ = 0;
};

// The same find over any byte string.
int64_t FindTextNoCase(const std::string& text, const std::string& what, int64_t start);
