#include "Nmurl.h"

#include "SysUtils.h"

#include <cstring>

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

namespace {

bool isAlnum(unsigned char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

} // namespace

std::string PercentEncode(const std::string& text, const char* keep)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (isAlnum(c) || (c != 0 && std::strchr(keep, c) != nullptr)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

TNMURL::TNMURL(QObject* owner) : QObject(owner) {}

void TNMURL::Fail(const char* operation, const std::string& message)
{
    if (OnError)
        OnError(this, operation, message);
}

std::string TNMURL::URLEncode(const std::string& text)
{
    static const char digits[] = "0123456789abcdef";
    try {
        std::string out;
        out.reserve(text.size() * 3);
        for (const char ch : text) {
            const auto c = static_cast<unsigned char>(ch);
            if (isAlnum(c)) {
                out += ch;
            } else if (c == ' ') {
                out += '+';
            } else {
                out += '%';
                out += digits[c >> 4];
                out += digits[c & 15];
            }
        }
        return out;
    } catch (const std::exception& e) {
        Fail("Error during encode", e.what());
        return text;
    }
}

std::string TNMURL::URLDecode(const std::string& text)
{
    try {
        std::string out;
        out.reserve(text.size());
        for (size_t i = 0; i < text.size(); ++i) {
            const char ch = text[i];
            if (ch == '+') {
                out += ' ';
            } else if (ch == '%') {
                const std::string digits = text.substr(i + 1, 2);
                const int hi = digits.size() == 2 ? HexDigitValue(digits[0]) : -1;
                const int lo = digits.size() == 2 ? HexDigitValue(digits[1]) : -1;
                if (hi < 0 || lo < 0)
                    throw EConvertError("'$" + digits + "' is not a valid integer value");
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
            } else {
                out += ch;
            }
        }
        return out;
    } catch (const std::exception& e) {
        Fail("Error during decode", e.what());
        return text;
    }
}
