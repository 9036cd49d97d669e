#include "ResultCount.h"

#include "SysUtils.h"

#include <limits>

const std::string& CountMarker(TEngine engine) { return EngineMarkers(engine).count; }

std::optional<std::string> ResultCountDigits(const TPageBuffer& page, TEngine engine)
{
    const std::string& marker = CountMarker(engine);
    if (marker.empty())
        return std::nullopt;
    const int64_t at = page.FindText(marker, 0);
    if (at < 0)
        return std::nullopt;
    const std::string_view text = page.Text();
    const size_t begin = static_cast<size_t>(at) + marker.size();
    size_t end = begin;
    while (end < text.size() && text[end] != '<' && text[end] != ' ')
        ++end;
    if (end == begin)
        return std::nullopt;
    std::string digits;
    digits.reserve(end - begin);
    for (size_t k = begin; k < end; ++k)
        if (text[k] != ',' && text[k] != '.')
            digits += text[k];
    return digits;
}

int32_t ResultTotal(const std::string& digits)
{
    // A decimal figure only: the general conversion would also take leading
    // blanks and "$" or "0x" hexadecimal.
    if (!IsDecimalWholeNumber(digits))
        throw EConvertError("'" + digits + "' is not a valid integer value");
    int32_t value = 0;
    if (TryStrToInt(digits, value))
        return value;
    const bool allDigits = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    if (allDigits)
        return std::numeric_limits<int32_t>::max();
    return StrToInt(digits); // raises EConvertError
}

bool ReadResultCount(const TPageBuffer& page, TEngine engine, std::string& label, int32_t& total)
{
    std::optional<std::string> digits = ResultCountDigits(page, engine);
    if (!digits)
        return false;
    label = *digits;
    total = ResultTotal(*digits);
    return true;
}
