// Reading the answer of a JSON search API: its result links in order, its
// total, and whether it is an error the user must be told about.
#pragma once

#include "Engines.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TJsonAnswer {
    // Every string found at the url field of the results, in order; entries
    // without one are passed over.
    std::vector<std::string> links;
    // The engine's total, when it gives one above 0 (at most 2147483647).
    std::optional<int32_t> total;
    // Set when the answer is not a page of results: the text to show.
    std::string error;
};

// Reads body, the answer to a query with the given HTTP status (0 when
// unknown). An answer whose status field says otherwise than the shape's
// good status is an error carrying that text; so are status 403 (the shape's
// own text when it has one), 429 (rate limiting), any other status of 400 or
// more, and a body that is not a JSON object.
TJsonAnswer ReadJsonAnswer(const TJsonShape& shape, std::string_view body, int status);

// The query value of text: unreserved bytes stay, a blank becomes "+", every
// other byte is written %XX.
std::string PercentEncodeQueryValue(const std::string& text);
