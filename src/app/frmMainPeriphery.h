// The main window's outward links: Visit Web Page, Online Help and the
// update check, with the rules they apply, kept apart from the window so the
// tests can reach them.
#pragma once

#include <string>

// Whether an address may be handed to the desktop as a web page: it starts
// with "http://" or "https://" (scheme in any case). A list entry can hold
// any text read from a file, and the desktop's handler would run a program
// for a local path or another scheme.
bool IsWebAddress(const std::string& address);

// The newest version number read from the update file's body: a decimal
// number in the user's number format (or, failing that, with a point),
// blanks and line ends around it ignored. Raises EConvertError for anything
// else.
float UpdateVersionOf(const std::string& body);

// The address Online Help opens: the help page installed with the program
// (looked for beside the program's directory, then in the system's data
// folders) as a file:// address, or the help page on the web when none is
// installed.
std::string HelpPageAddress(const std::string& programDir);
