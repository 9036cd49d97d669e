// Reading the engine's result total from the first result page.
#pragma once

#include "Engines.h"
#include "PageBuffer.h"

#include <cstdint>
#include <optional>
#include <string>

// The text written just before the figure ("" for no engine).
const std::string& CountMarker(TEngine engine);

// The digits text of the page's figure: after the first match of the
// engine's count marker (found without regard to letter case), the
// characters up to the first "<" or space (or the end of the text), with
// every "," and "." removed. Nothing when there is no engine, no marker or
// an empty figure; then label and total stay as they were.
std::optional<std::string> ResultCountDigits(const TPageBuffer& page, TEngine engine);

// The result total of a digits text. A figure of digits only that is beyond
// the signed 32-bit range gives 2147483647 (the engines print totals in the
// billions for popular words, and a search must still page through them);
// anything else that is not a decimal whole number (hexadecimal forms and
// leading blanks included) raises EConvertError.
int32_t ResultTotal(const std::string& digits);

// Both steps as the search uses them: when the page holds a figure, sets
// label to its digits text, then total; returns whether it did. The label
// is set before the conversion, so a figure that raises EConvertError still
// shows.
bool ReadResultCount(const TPageBuffer& page, TEngine engine, std::string& label, int32_t& total);
