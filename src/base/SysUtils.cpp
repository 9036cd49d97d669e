#include "SysUtils.h"

#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <array>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <vector>

namespace {

struct FoldTable {
    std::array<unsigned char, 256> t{};
    FoldTable()
    {
        for (int c = 0; c < 256; ++c)
            t[c] = static_cast<unsigned char>(c);
        for (int c = 'A'; c <= 'Z'; ++c)
            t[c] = static_cast<unsigned char>(c + 32);
        // Latin-1 capitals 0xC0..0xDE fold to 0xE0..0xFE, except the
        // multiplication sign 0xD7.
        for (int c = 0xC0; c <= 0xDE; ++c)
            if (c != 0xD7)
                t[c] = static_cast<unsigned char>(c + 32);
    }
};
const FoldTable kFold;

bool isBlank(char c) { return c == ' ' || c == '\t'; }

} // namespace

unsigned char FoldByte(unsigned char c) { return kFold.t[c]; }

bool TryStrToInt(const std::string& text, int32_t& value)
{
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && isBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    int64_t acc = 0;
    for (; i < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return false;
        acc = acc * base + d;
        // Hexadecimal may name the full 32-bit pattern; decimal must fit.
        const int64_t limit = base == 16 ? int64_t(0xFFFFFFFF) : int64_t(std::numeric_limits<int32_t>::max()) + (negative ? 1 : 0);
        if (acc > limit)
            return false;
    }
    if (base == 16 && !negative) {
        value = static_cast<int32_t>(static_cast<uint32_t>(acc));
        return true;
    }
    if (base == 16 && acc > int64_t(std::numeric_limits<int32_t>::max()) + 1)
        return false;
    value = static_cast<int32_t>(negative ? -acc : acc);
    return true;
}

int32_t StrToInt(const std::string& text)
{
    int32_t v = 0;
    if (!TryStrToInt(text, v))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return v;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

bool IsDecimalWholeNumber(const std::string& text)
{
    const size_t first = !text.empty() && (text[0] == '+' || text[0] == '-') ? 1 : 0;
    return first < text.size() && text.find_first_not_of("0123456789", first) == std::string::npos;
}

int32_t DecimalStrToInt(const std::string& text)
{
    if (!IsDecimalWholeNumber(text))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return StrToInt(text);
}

std::string UpperCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    return r;
}

std::string LowerCase(const std::string& s)
{
    std::string r = s;
    for (char& c : r)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c + 32);
    return r;
}

int CompareText(const std::string& a, const std::string& b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = kFold.t[static_cast<unsigned char>(a[i])];
        const unsigned char y = kFold.t[static_cast<unsigned char>(b[i])];
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(const std::string& a, const std::string& b) { return a.size() == b.size() && CompareText(a, b) == 0; }

std::string Format(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), fmt, ap2);
        out.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(ap2);
    return out;
}

QString toQt(const std::string& bytes)
{
    // Decoded per text: as UTF-8 where the bytes are valid UTF-8 (an initial
    // byte-order mark kept), as Latin-1 otherwise, so every byte shows as
    // some character and nothing is dropped.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless |
                                                    QStringConverter::Flag::ConvertInitialBom);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

std::string fromQt(const QString& text)
{
    // What the user types or edits is written as UTF-8.
    const QByteArray b = text.toUtf8();
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}

std::string fromQtKeeping(const QString& text, const std::string& original)
{
    return text == toQt(original) ? original : fromQt(text);
}

QString FileNameToQt(const std::string& fileName)
{
    return QFile::decodeName(QByteArray(fileName.data(), static_cast<qsizetype>(fileName.size())));
}

std::string FileNameFromQt(const QString& fileName)
{
    const QByteArray b = QFile::encodeName(fileName);
    return std::string(b.constData(), static_cast<size_t>(b.size()));
}
