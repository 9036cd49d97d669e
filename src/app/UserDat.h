// user.dat: the four outgoing-mail values (mail server, user ID, sender
// address, sender name), one per line, each followed by CR LF.
#pragma once

#include <array>
#include <cstdint>
#include <string>

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

// Where user.dat is kept: the user's configuration folder
// (~/.config/Corvina/user.dat), for the installed program and a build alike,
// so that every copy of the program shares one E-mail page.
std::string UserDatConfigPath();

// Moves a user.dat that an older build kept in the program directory into the
// configuration folder, once: only when the configuration folder holds none
// (an existing one is kept, and the old file left where it is). Returns true
// when the file was moved.
bool MoveOldUserDat(const std::string& programDir);

// Moves an old program-directory file first (see MoveOldUserDat), then reads
// the configuration folder's file, or the old file when it could not be
// moved; false when there is none or it cannot be read.
bool LoadUserDat(const std::string& programDir, TUserDatValues& values);
// Writes the configuration folder's file, replacing any previous contents;
// false when it cannot be created or written (the previous file is then left
// as it was).
bool SaveUserDat(const TUserDatValues& values);

// The search time-out as the Options dialog and the settings file hold it: a
// decimal whole number of milliseconds (an optional "+", digits only) from 0,
// no time-out, to INT32_MAX. False, with ms unchanged, for anything else
// ("-5", "99999999999", " 30000", "$7530", an empty text).
bool ParseTimeOutText(const std::string& text, int32_t& ms);
// The time-out shown when none has been set or the saved one is not valid.
inline const std::string kDefaultTimeOutText = "10000";
