// URL codec: encodes text for a URL query or a form body and decodes it again.
#pragma once

#include <QObject>

#include <functional>
#include <string>

// The value of a hexadecimal digit (either case), -1 for any other byte.
int HexDigitValue(char c);

// Percent-encodes text: letters, digits and the bytes of keep are copied,
// every other byte (NUL and the bytes beyond ASCII too) becomes "%" and two
// upper-case hexadecimal digits.
std::string PercentEncode(const std::string& text, const char* keep);

class TNMURL : public QObject {
public:
    // Reports a failed encode or decode: Operation is "Error during encode" or
    // "Error during decode", ErrMsg the underlying error's message. This is the
    // codec's own event type, unrelated to the socket session's error event.
    using TOnErrorEvent = std::function<void(QObject* Sender, const std::string& Operation, const std::string& ErrMsg)>;

    explicit TNMURL(QObject* owner = nullptr);

    // Letters and digits are copied, a blank becomes "+", every other byte
    // becomes "%" and two lowercase hexadecimal digits. Texts of any length
    // are encoded whole.
    std::string URLEncode(const std::string& text);
    // "+" gives a blank, "%" and two hexadecimal digits (either case) give that
    // byte, everything else is copied. A "%" not followed by two hexadecimal
    // digits fires OnError and gives back the whole input unchanged.
    std::string URLDecode(const std::string& text);

    std::string GetEncodeString() { return URLEncode(InputString); }
    std::string GetDecodeString() { return URLDecode(InputString); }

    std::string InputString;
    TOnErrorEvent OnError;

private:
    void Fail(const char* operation, const std::string& message);
};
