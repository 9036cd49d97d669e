// Base64 (MIME) and uuencode coder working from one stream to another.
#pragma once

#include "Classes.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <string>

enum UUMethods {
    uuMime, // Base64 as MIME uses it
    uuCode, // the classic uuencode line format
};

// The Base64 alphabet, "A".."Z", "a".."z", "0".."9", "+", "/".
extern const char MimeTable[65];
// The uuencode alphabet: the grave accent for zero, then "!" to "_".
extern const char UUTABLE[65];
// Value of each character code from "+" (43) to "z" (122): 0..63 for the
// Base64 alphabet, 64 for "=", 127 for everything else.
extern const unsigned char base64Table[80];

class TNMUUProcessor : public QObject {
public:
    using TNotifyEvent = std::function<void(QObject* Sender)>;

    explicit TNMUUProcessor(QObject* owner = nullptr);

    // Takes the table of the current Method for encoding.
    void SetEncodeTable();
    // Encodes the whole InputStream (from position 0) into OutputStream in
    // lines of 45 bytes; OutputStream is rewound afterwards, also after an
    // error.
    void Encode();
    // Decodes InputStream from its current position into OutputStream.
    void Decode();
    void Base64Decode();
    void StdDecode();

    // Reads one line of encoded text through a 200-byte block: the line
    // without its CR LF, the stream left just after its line feed. A block
    // without a line feed is returned whole and reading goes on 61 bytes
    // after its start.
    static void ReadLnFromStream(TStream* stream, std::string& line);
    // Value of a uuencode character: both the blank and the grave accent are 0.
    static unsigned char UuDEC(char c) { return static_cast<unsigned char>((static_cast<unsigned char>(c) - 32) & 63); }

    UUMethods Method = uuMime;
    TNotifyEvent OnBeginEncode;
    TNotifyEvent OnEndEncode;
    TNotifyEvent OnBeginDecode;
    TNotifyEvent OnEndDecode;
    TStream* InputStream = nullptr;  // not owned
    TStream* OutputStream = nullptr; // not owned; written at its position

private:
    void CheckStreams() const;
    char table_[64];
};

// The whole of data encoded with the given method, in the coder's lines
// (each ended by CR LF; uuencode adds its closing line).
std::string EncodeBuffer(const std::string& data, UUMethods method);
// The bytes encoded in data, decoded with the given method.
std::string DecodeBuffer(const std::string& data, UUMethods method);
