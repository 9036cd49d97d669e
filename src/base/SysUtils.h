// Basic run-time support shared by every part of the program: the exception
// hierarchy, whole-number conversions and the byte/QString boundary.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class QString;

// The general exception class. Every error the program raises derives from it;
// the message is bytes, like all text in the core.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }
    const std::string& message() const noexcept { return Message; }

    std::string Message;
};

// A text that is not a number where one was expected.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// A value outside the range of the type that has to hold it.
class ERangeError : public Exception {
public:
    explicit ERangeError(std::string message = "Range check error") : Exception(std::move(message)) {}
};

// Stream failures (seek, put-back, read and write errors).
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// A file that cannot be opened (EFOpenError) or created (EFCreateError).
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// Decimal conversion as the program's users know it: optional blanks before an
// optional sign, then digits; nothing may follow. "$" introduces hexadecimal.
// Raises EConvertError "'<text>' is not a valid integer value" otherwise,
// including for values beyond the signed 32-bit range.
int32_t StrToInt(const std::string& text);
// Same rules; returns false instead of raising.
bool TryStrToInt(const std::string& text, int32_t& value);
std::string IntToStr(int64_t value);
// Whether a text is a decimal whole number as the program's settings and
// figures are written: an optional sign, then digits only (no blanks, no
// "$" or "0x" hexadecimal).
bool IsDecimalWholeNumber(const std::string& text);
// Converts such a text; raises EConvertError for any other text or a value
// beyond the signed 32-bit range.
int32_t DecimalStrToInt(const std::string& text);

// ASCII upper/lower case of a byte string (other bytes unchanged).
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);

// Case-insensitive comparison of byte strings, folding the letters of the
// Latin-1 code page; returns <0, 0, >0.
int CompareText(const std::string& a, const std::string& b);
bool SameText(const std::string& a, const std::string& b);
// The Latin-1 case fold of one byte (upper case letters to lower case).
unsigned char FoldByte(unsigned char c);

// Format an integer the way the about box and counters show it.
std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// Widget boundary. The core keeps every byte; a text is shown decoded as
// UTF-8 when its bytes are valid UTF-8 and as Latin-1 otherwise, and what the
// user types is encoded as UTF-8.
QString toQt(const std::string& bytes);
std::string fromQt(const QString& text);
// fromQt, except that a text shown from original and left unchanged gives
// back original's bytes (a Latin-1 entry opened and confirmed unedited stays
// Latin-1).
std::string fromQtKeeping(const QString& text, const std::string& original);

// File names are bytes as the file system holds them (TFileStream opens them
// as they are). These convert between such names and Qt's strings (file
// dialogs, Qt's own paths) in the file system's encoding, so a name with
// letters beyond ASCII names the same file on both sides.
QString FileNameToQt(const std::string& fileName);
std::string FileNameFromQt(const QString& fileName);
