// The page buffer: the text of the last downloaded page with a selection that
// the scanners use as their cursor, and a case-insensitive forward find.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TPageBuffer {
public:
    std::string_view Text() const { return keeper_ ? shared_ : std::string_view(text_); }
    int64_t Length() const { return static_cast<int64_t>(Text().size()); }

    // Replaces the whole text. The text ends at its first zero byte (the
    // buffer takes a zero-terminated text); the selection becomes empty at 0.
    void SetText(const std::string& text);
    void SetText(std::string&& text);
    // The same for a text that was read only up to its first zero byte, so
    // it holds none: taken as it is, without looking through it again.
    void SetZeroFreeText(std::string&& text);
    // Shows bytes held elsewhere (a file mapped into memory) as the text,
    // without copying them; keeper keeps them alive for as long as the
    // buffer shows them. The text ends at its first zero byte, as above.
    void SetSharedText(std::string_view text, std::shared_ptr<const void> keeper);
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
    void showOwnText(); // text_ becomes the text, the selection empty at 0

    std::string text_;                    // the text, unless shared
    std::string_view shared_;             // the text, while keeper_ is set
    std::shared_ptr<const void> keeper_;
    int64_t selStart_ = 0;
    int64_t selLength_ = 0;
};

// The same find over any byte string.
int64_t FindTextNoCase(std::string_view text, std::string_view what, int64_t start);
