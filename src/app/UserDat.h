// user.dat: the four outgoing-mail values (mail server, user ID, sender
// address, sender name), one per line, each followed by CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kUserDatFields = 4;
// A value holds at most this many characters.
constexpr int kUserDatValueMax = 253;

using TUserDatValues = std::array<std::string, kUserDatFields>;

// Reads the values from the file's bytes: one line per value in file order;
// a missing line leaves its value (and the following ones) empty; lines
// after the fourth are ignored. Each line loses its line end (LF or CR LF)
// and nothing else, so a last line without a line end keeps all its
// characters.
TUserDatValues ParseUserDat(const std::string& bytes);
// The file's bytes for the values; an empty value gives an empty line.
std::string FormatUserDat(const TUserDatValues& values);

// Where user.dat is kept: in the program directory when that can be written
// to and the program is not an installed one (<prefix>/bin with
// <prefix>/share/corvina), otherwise in the user's configuration directory.
std::string UserDatSavePath(const std::string& programDir);
// Where user.dat is looked for, in order: the place it is saved to first, so
// that the values saved last come back, then the other place.
std::vector<std::string> UserDatLoadPaths(const std::string& programDir);
// The copy in the user's configuration directory.
std::string UserDatConfigPath();

// Reads the first of the load paths that can be opened; false when none.
bool LoadUserDat(const std::string& programDir, TUserDatValues& values);
// Writes the file, replacing any previous contents; false when it cannot be
// created or written (the previous file is then left as it was).
bool SaveUserDat(const std::string& programDir, const TUserDatValues& values);

// The search time-out as the Options dialog and the settings file hold it: a
// decimal whole number of milliseconds (an optional "+", digits only) from 0,
// no time-out, to INT32_MAX. False, with ms unchanged, for anything else
// ("-5", "99999999999", " 30000", "$7530", an empty text).
bool ParseTimeOutText(const std::string& text, int32_t& ms);
// The time-out shown when none has been set or the saved one is not valid.
inline const std::string kDefaultTimeOutText = "10000";
