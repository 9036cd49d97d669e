// The address scanner: finds e-mail addresses in the page buffer's text and
// appends them to the Results list; and the address clean-up that strips a
// leading URL-escaped blank from one Results entry and drops the entries
// that are no addresses one can write to.
#pragma once

#include "CheckList.h"
#include "PageBuffer.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

// True for the bytes that make up an address part: printable ASCII except the
// delimiters ; , space : < > = # @ " ( ) [ ] ? ' \ / &.
bool IsAddressChar(unsigned char c);

// The longest address taken: a mail path holds at most 256 bytes, two of
// them the angle brackets.
constexpr size_t kMaxAddressLength = 254;

// Runs the scanner once over the page buffer. The buffer's selection is the
// cursor: the search starts after the selection (at 0 when the selection is
// empty), and each "@" found becomes the selection (start at the sign, length
// 1), so a second run over the same text finds nothing new. Every candidate
// with a full stop and from 5 to kMaxAddressLength characters is handed to
// accept in the order found, before any sorting. Returns the number of
// candidates accepted.
int ScanAddresses(TPageBuffer& page, const std::function<void(std::string_view)>& accept);

// The scanner as the harvest uses it: appends each accepted address to the
// list once per run (an equal candidate later on the page is passed over)
// and, unless keepAll, only addresses whose domain is a public one
// (AddressDomain.h). It does not look for an equal entry already in the
// list. Returns the list's entry count, the value of the found-address
// counter.
int ScanAddresses(TPageBuffer& page, TCheckListModel& results, bool keepAll);

// The clean-up of one text. A "%" before the first "@" is a cut: everything
// before it goes; a "%2" followed by a digit goes too (an escaped blank), a
// "%2" followed by anything else leaves the "2". A "%" after the "@" is
// never cut at: the domain's escapes of bytes from 0x80 up are decoded
// instead ("info@caff%c3%a8.example.org" reads "info@caffè.example.org" in
// UTF-8). A text without "%" comes back unchanged.
std::string CleanAddressText(const std::string& text);

// Cleans the entry at index in place (same position, same tick, no
// re-sorting) when its text holds a "%"; leaves it alone otherwise.
void CleanAddress(TCheckListModel& results, int index);

// Cleans every entry from the first to the last, as a harvest does when it
// ends; then, unless keepAll, removes the entries whose domain is not a
// public one (an image name such as "logo@2x.png", "a@b.c").
void CleanAllAddresses(TCheckListModel& results, bool keepAll);
