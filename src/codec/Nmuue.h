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

// Base64 text decoded line by line by the rules of TNMUUProcessor's MIME
// decoder, fed in pieces, so that a line may be of any length: a line of two
// characters or fewer, or one that starts with "====", is skipped; leading
// characters outside the alphabet are skipped, and a CR, LF or "=" among them
// ends the data; groups of four characters follow, a group cut short by the
// line's end giving the bytes its characters complete; a "=" in the third or
// fourth place of a group ends the data after that line.
class TBase64LineDecoder {
public:
    // Adds characters of the current line (without its line end); decoded
    // bytes are appended to out.
    void Feed(const char* data, size_t count, std::string& out);
    // Ends the current line.
    void EndLine(std::string& out);
    // The data has ended: every later line is ignored.
    bool Stopped() const { return stopped_; }

private:
    enum Phase { Head, Lead, Groups, SkipLine };
    void Take(char c, std::string& out);
    void Group(size_t count, std::string& out);

    Phase phase_ = Head;
    char head_[4] = {};   // the line's first characters, until the line is judged
    size_t headLen_ = 0;
    bool held_ = false;   // a leading character waits to see whether it is the last
    char heldChar_ = 0;
    char group_[4] = {};
    size_t groupLen_ = 0;
    bool endsAfterLine_ = false;
    bool stopped_ = false;
};

// Decodes one uuencoded line (without its line end) and appends its bytes to
// out, as TNMUUProcessor's uuencode decoder does; only the first 85
// characters can matter. Returns true for the closing line (length
// character zero), after which the decoder skips one more line.
bool UuDecodeLine(const std::string& line, std::string& out);

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
    // after its start. Encoded mail lines are 60 characters, so this never
    // cuts one; a caller that must take longer lines whole (corvina-cli)
    // feeds TBase64LineDecoder itself.
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
// Appends count bytes encoded in the coder's lines of 45 bytes (each ended by
// CR LF), as Encode writes them, without uuencode's closing line. Pieces
// whose sizes are multiples of 45 give, one after another, the lines of the
// whole.
void EncodeLines(const unsigned char* data, size_t count, UUMethods method, std::string& out);
// The number of bytes EncodeLines gives for count bytes.
int64_t EncodedLinesSize(int64_t count, UUMethods method);
// The bytes encoded in data, decoded with the given method.
std::string DecodeBuffer(const std::string& data, UUMethods method);
