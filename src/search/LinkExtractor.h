// Cutting result links out of a search engine's result page, and the
// duplicate pass shared by both lists.
#pragma once

#include "CheckList.h"
#include "Engines.h"
#include "PageBuffer.h"

#include <functional>
#include <string>
#include <string_view>

// The text written in front of every result link of the engine ("" for
// none), and the text that every link to the engine's own pages holds.
const std::string& LinkMarker(TEngine engine);
const std::string& OwnDomainMarker(TEngine engine);

// Whether a cut link is kept: links to the engine's own pages never are;
// with plainTextOnly a link must hold ".html", ".htm" or ".txt"; otherwise a
// link holding ".pdf", ".PDF", ".doc" or ".DOC" is dropped. All tests are
// case-sensitive substring tests anywhere in the link.
bool KeepLink(const std::string_view& link, TEngine engine, bool plainTextOnly);

// Runs the extractor once over the page buffer: from the top of the page,
// every match of the engine's link marker (found without regard to letter
// case) becomes the selection, the link is cut from the "http" inside the
// marker up to the first of > space & ; ' (or the end of the text), and each
// kept link is handed to accept in the order found. With no engine in use
// nothing happens (the buffer is not touched). Returns the links kept.
int ExtractLinks(TPageBuffer& page, TEngine engine, bool plainTextOnly,
                 const std::function<void(std::string_view)>& accept);

// The extractor as the search uses it: appends every kept link to the Found
// Sites list without looking for an equal entry. Returns the list's entry
// count, the value of the found-sites counter.
int ExtractLinks(TPageBuffer& page, TEngine engine, bool plainTextOnly, TCheckListModel& sites);

// The duplicate pass: removes every entry that equals the entry before it
// byte for byte (letter case significant), so a run of equal neighbours
// keeps its first entry and that entry's tick. Changes no counter. Returns
// the number of entries removed.
int RemoveDuplicates(TCheckListModel& list);
