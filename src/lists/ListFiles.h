// The list files: site lists, address text files (columned or on one row)
// and the one-column address-book file headed "Posta elettronica".
//
// Every function that reads a file reads it completely before it touches the
// list, so a file that cannot be opened (EFOpenError) or read to its end
// (EStreamError) leaves the list, and with it the caller's counters and
// buttons, as they were. Only a plain file is read: a folder, a device or a
// FIFO is refused with EFOpenError before a byte is read (a device such as
// /dev/zero never ends, a FIFO would wait for a writer for ever), and so is
// a file larger than kListFileMaxBytes (256 MiB, far beyond any list a
// search gathers). Every message names the file.
//
// Saving never changes the list. A file that cannot be created raises
// EFCreateError and nothing is written; a name that is not a plain file is
// refused the same way. A write that fails part way raises EStreamError and
// leaves a file that was being replaced as it was: the new content takes
// the name only once it is complete, or, for a file that must be rewritten
// through its own name (it has other hard links, or its folder cannot be
// written to), the old bytes are kept until the new ones are all written
// and are put back when they cannot be.
#pragma once

#include "CheckList.h"

#include <cstdint>
#include <string>
#include <vector>

// The header line of the address-book file.
inline const std::string kAddressBookHeader = "Posta elettronica";

// The largest list file read.
constexpr int64_t kListFileMaxBytes = int64_t(256) << 20;

// The dialogs' filter; filter 1 is the text filter, filter 2 the address book.
inline const std::string kListFileFilter = "Text File (*.txt)|*.txt|Windows Address Book File (*.csv)|*.csv";

// ---- list text ----
// Every text followed by CR LF; no texts give an empty text.
std::string ListText(const std::vector<std::string>& texts);
std::string ListText(TCheckListModel& list);
// Splits at CR LF, a lone CR and a lone LF; empty lines are entries; a final
// line end adds no entry; a zero byte ends the text.
std::vector<std::string> SplitListText(const std::string& text);

// Writes the list as list text to fileName, creating or replacing it.
void SaveListText(TCheckListModel& list, const std::string& fileName);
// Replaces the list's entries with the lines of fileName (unticked, at their
// sorted places). Returns the new entry count.
int LoadListText(TCheckListModel& list, const std::string& fileName);

// ---- file names ----
// Appends "." + ext unless the last three characters of fileName, in
// capitals, equal ext in capitals (a name shorter than three characters
// always gets it).
std::string AdjustFileName(const std::string& fileName, const std::string& ext);

// ---- address text file ----
// Rewrites a columned file in place as one row: each CR LF (or LF CR) pair
// becomes "; ", with the same length. Never ends the program: when the file
// cannot be reopened or its bytes cannot be held in memory it stays columned,
// and false is returned (also when writing the row back fails).
bool RewriteAsRow(const std::string& fileName);
// Saves the Results list as an address text file: adjusts the chosen name
// for "txt", writes the list text and, with onRow, rewrites it as one row.
// Returns the name written.
std::string SaveAddressText(TCheckListModel& list, const std::string& chosenName, bool onRow);
// Opening an address text file is LoadListText: a row loads as one entry.

// ---- address-book file ----
// Adjusts the chosen name for "csv" and writes the header line, then the
// list text. The list itself is left exactly as it was (entries, order,
// ticks, current entry), also when the file cannot be written. Returns the
// name written.
std::string SaveAddressBook(TCheckListModel& list, const std::string& chosenName);
// Loads the file's lines and removes the first one equal to the header
// (case-sensitive); later equal lines stay. Returns the new entry count.
int LoadAddressBook(TCheckListModel& list, const std::string& fileName);
