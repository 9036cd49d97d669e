// The address scanner: finds e-mail addresses in the page buffer's text and
// appends them to the Results list; and the address clean-up that strips a
// leading URL-escaped blank from one Results entry.
#pragma once

#include "CheckList.h"
#include "PageBuffer.h"

#include <functional>
#include <string>
#include <string_view>

// True for the bytes that make up an address part: printable ASCII except the
// delimiters ; , space : < > = # @ " ( ) [ ] ? ' \ / &.
bool IsAddressChar(unsigned char c);

// Runs the scanner once over the page buffer. The buffer's selection is the
// cursor: the search starts after the selection (at 0 when the selection is
// empty), and each "@" found becomes the selection (start at the sign, length
// 1), so a second run over the same text finds nothing new. Every candidate
// with a full stop and at least 5 characters is handed to accept in the order
// found, before any sorting. Returns the number of candidates accepted.
int ScanAddresses(TPageBuffer& page, const std::function<void(std::string_view)>& accept);

// The scanner as the harvest uses it: appends every accepted address to the
// list without looking for an equal entry. Returns the list's entry count,
// the value of the found-address counter.
int ScanAddresses(TPageBuffer& page, TCheckListModel& results);

// The clean-up of one text: everything before the first "%" goes; a "%2"
// followed by a digit goes too (an escaped blank), a "%2" followed by
// anything else leaves the "2". A text without "%" comes back unchanged.
std::string CleanAddressText(const std::string& text);

// Cleans the entry at index in place (same position, same tick, no
// re-sorting) when its text holds a "%"; leaves it alone otherwise.
void CleanAddress(TCheckListModel& results, int index);

// Cleans every entry from the first to the last, as a harvest does when it
// ends.
void CleanAllAddresses(TCheckListModel& results);
