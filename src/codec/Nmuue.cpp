#include "Nmuue.h"

#include "SysUtils.h"

#include <algorithm>
#include <cstring>
#include <exception>

const char MimeTable[65] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
const char UUTABLE[65] = "`!\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";

// clang-format off
const unsigned char base64Table[80] = {
     62, 127, 127, 127,  63,  52,  53,  54,  55,  56,  57,  58,  59,  60,  61, 127, // + .. :
    127, 127,  64, 127, 127, 127,   0,   1,   2,   3,   4,   5,   6,   7,   8,   9, // ; .. J
     10,  11,  12,  13,  14,  15,  16,  17,  18,  19,  20,  21,  22,  23,  24,  25, // K .. Z
    127, 127, 127, 127, 127, 127,  26,  27,  28,  29,  30,  31,  32,  33,  34,  35, // [ .. j
     36,  37,  38,  39,  40,  41,  42,  43,  44,  45,  46,  47,  48,  49,  50,  51, // k .. z
};
// clang-format on

namespace {

unsigned char b64Value(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 43 && u <= 122 ? base64Table[u - 43] : 127;
}

bool isB64(char c) { return b64Value(c) < 64; }

// One encoded line of n (at most 45) input bytes with its CR LF; returns
// its length. uuencode lines begin with their length character; Base64
// lines end a short group with "=".
size_t encodeLine(const unsigned char* in, size_t n, const char* t, bool mime, char* line)
{
    char* o = line;
    if (!mime)
        *o++ = t[n & 63];
    const unsigned char* p = in;
    const unsigned char* groupsEnd = in + (n / 3) * 3;
    for (; p < groupsEnd; p += 3) {
        const unsigned b0 = p[0], b1 = p[1], b2 = p[2];
        o[0] = t[b0 >> 2];
        o[1] = t[((b0 << 4) | (b1 >> 4)) & 63];
        o[2] = t[((b1 << 2) | (b2 >> 6)) & 63];
        o[3] = t[b2 & 63];
        o += 4;
    }
    switch (n % 3) {
    case 1: {
        const unsigned b0 = p[0];
        *o++ = t[b0 >> 2];
        *o++ = t[(b0 << 4) & 48];
        if (mime) {
            *o++ = '=';
            *o++ = '=';
        }
        break;
    }
    case 2: {
        const unsigned b0 = p[0], b1 = p[1];
        *o++ = t[b0 >> 2];
        *o++ = t[((b0 << 4) & 48) | (b1 >> 4)];
        *o++ = t[(b1 << 2) & 60];
        if (mime)
            *o++ = '=';
        break;
    }
    default:
        break;
    }
    *o++ = '\r';
    *o++ = '\n';
    return static_cast<size_t>(o - line);
}

} // namespace

TNMUUProcessor::TNMUUProcessor(QObject* owner) : QObject(owner) { SetEncodeTable(); }

void TNMUUProcessor::SetEncodeTable() { std::memcpy(table_, Method == uuCode ? UUTABLE : MimeTable, 64); }

void TNMUUProcessor::CheckStreams() const
{
    if (!InputStream)
        throw Exception("No input stream");
    if (!OutputStream)
        throw Exception("No output stream");
}

void TNMUUProcessor::Encode()
{
    // The output is rewound and the end reported in every case; the first
    // error (of the encoding or of the rewinding) is raised afterwards.
    std::exception_ptr error;
    try {
        CheckStreams();
        InputStream->SetPosition(0);
        if (OnBeginEncode)
            OnBeginEncode(this);
        SetEncodeTable();
        const char* t = table_;
        const bool mime = Method == uuMime;
        unsigned char in[45];
        char line[64];
        for (;;) {
            const int64_t n = InputStream->Read(in, sizeof in);
            if (n <= 0)
                break;
            const size_t len = encodeLine(in, static_cast<size_t>(n), t, mime, line);
            OutputStream->WriteBuffer(line, static_cast<int64_t>(len));
        }
        if (!mime) {
            const char closing[3] = {t[0], '\r', '\n'};
            OutputStream->WriteBuffer(closing, 3);
        }
    } catch (...) {
        error = std::current_exception();
    }
    try {
        if (OutputStream)
            OutputStream->SetPosition(0);
    } catch (...) {
        if (!error)
            error = std::current_exception();
    }
    if (OnEndEncode)
        OnEndEncode(this);
    if (error)
        std::rethrow_exception(error);
}

void TNMUUProcessor::Decode()
{
    CheckStreams();
    if (OnBeginDecode)
        OnBeginDecode(this);
    if (Method == uuMime)
        Base64Decode();
    else
        StdDecode();
    if (OnEndDecode)
        OnEndDecode(this);
}

void TNMUUProcessor::ReadLnFromStream(TStream* stream, std::string& line)
{
    char block[200];
    const int64_t start = stream->GetPosition();
    const int64_t n = std::max<int64_t>(stream->Read(block, sizeof block), 0);
    const void* lf = n > 0 ? std::memchr(block, '\n', static_cast<size_t>(n)) : nullptr;
    if (lf) {
        const int64_t p = static_cast<const char*>(lf) - block + 1; // counted from 1
        line.assign(block, static_cast<size_t>(std::max<int64_t>(p - 2, 0)));
        stream->SetPosition(start + p);
        return;
    }
    line.assign(block, static_cast<size_t>(n));
    if (n > 0)
        stream->SetPosition(std::min(start + 61, stream->GetSize()));
}

namespace {

// Reads the next line of the input; false at the end of the stream, or when
// the stream gives nothing more.
bool nextInputLine(TStream* input, std::string& line)
{
    const int64_t before = input->GetPosition();
    if (before >= input->GetSize())
        return false;
    TNMUUProcessor::ReadLnFromStream(input, line);
    return input->GetPosition() != before;
}

} // namespace

void TNMUUProcessor::StdDecode()
{
    CheckStreams();
    std::string line;
    std::string discard;
    std::string out;
    while (nextInputLine(InputStream, line)) {
        out.clear();
        if (UuDecodeLine(line, out))
            ReadLnFromStream(InputStream, discard);
        if (!out.empty())
            OutputStream->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
    }
}

void TNMUUProcessor::Base64Decode()
{
    CheckStreams();
    std::string line;
    std::string out;
    TBase64LineDecoder decoder;
    while (!decoder.Stopped() && nextInputLine(InputStream, line)) {
        out.clear();
        decoder.Feed(line.data(), line.size(), out);
        decoder.EndLine(out);
        if (!out.empty())
            OutputStream->WriteBuffer(out.data(), static_cast<int64_t>(out.size()));
    }
}

namespace {

std::string runCoder(std::string data, UUMethods method, bool encode)
{
    TMemoryStream in(std::move(data));
    TMemoryStream out;
    TNMUUProcessor coder;
    coder.Method = method;
    coder.InputStream = &in;
    coder.OutputStream = &out;
    if (encode)
        coder.Encode();
    else
        coder.Decode();
    return std::move(out.Data());
}

} // namespace

std::string EncodeBuffer(const std::string& data, UUMethods method) { return runCoder(data, method, true); }

std::string DecodeBuffer(const std::string& data, UUMethods method) { return runCoder(data, method, false); }

bool UuDecodeLine(const std::string& line, std::string& out)
{
    const size_t len = line.size();
    if (len <= 2)
        return false;
    int n = TNMUUProcessor::UuDEC(line[0]);
    if (n == 0)
        return true;
    for (size_t i = 1; n > 0 && i < len; i += 4, n -= 3) {
        // Characters past the end of the line are absent: a group of k
        // characters carries k - 1 bytes.
        const size_t k = std::min<size_t>(4, len - i);
        const unsigned a = TNMUUProcessor::UuDEC(line[i]);
        const unsigned b = k > 1 ? TNMUUProcessor::UuDEC(line[i + 1]) : 0;
        const unsigned c = k > 2 ? TNMUUProcessor::UuDEC(line[i + 2]) : 0;
        const unsigned d = k > 3 ? TNMUUProcessor::UuDEC(line[i + 3]) : 0;
        const int bytes = std::min<int>(n >= 3 ? 3 : n, static_cast<int>(k) - 1);
        if (bytes > 0)
            out += static_cast<char>((a << 2) | (b >> 4));
        if (bytes > 1)
            out += static_cast<char>((b << 4) | (c >> 2));
        if (bytes > 2)
            out += static_cast<char>((c << 6) | d);
    }
    return false;
}

// ---------------------------------------------------------- TBase64LineDecoder

void TBase64LineDecoder::Feed(const char* data, size_t count, std::string& out)
{
    if (stopped_)
        return;
    for (size_t k = 0; k < count; ++k) {
        const char c = data[k];
        switch (phase_) {
        case Head:
            // Nothing is decided before the line is known to be longer than
            // two characters and not to start with "====".
            head_[headLen_++] = c;
            if (headLen_ == 4) {
                if (std::memcmp(head_, "====", 4) == 0) {
                    phase_ = SkipLine;
                } else {
                    phase_ = Lead;
                    for (size_t h = 0; h < 4; ++h)
                        Take(head_[h], out);
                }
            }
            break;
        case Lead:
        case Groups:
            Take(c, out);
            break;
        case SkipLine:
            return;
        }
        if (stopped_)
            return;
    }
}

void TBase64LineDecoder::Take(char c, std::string& out)
{
    if (stopped_ || phase_ == SkipLine)
        return;
    if (phase_ == Lead) {
        // A leading character is judged once another follows it: the last
        // character of a line is never a leading one.
        if (!held_) {
            held_ = true;
            heldChar_ = c;
            return;
        }
        const char h = heldChar_;
        heldChar_ = c;
        if (!isB64(h)) {
            if (h == '\r' || h == '\n' || h == '=') {
                stopped_ = true;
                phase_ = SkipLine;
            }
            return;
        }
        held_ = false;
        phase_ = Groups;
        group_[groupLen_++] = h;
    }
    if (groupLen_ == 0 && !isB64(c))
        return;
    group_[groupLen_++] = c;
    if (groupLen_ == 4)
        Group(4, out);
}

void TBase64LineDecoder::Group(size_t k, std::string& out)
{
    const unsigned a = b64Value(group_[0]);
    const unsigned b = k > 1 ? b64Value(group_[1]) : 0;
    const unsigned c = k > 2 ? b64Value(group_[2]) : 0;
    const unsigned d = k > 3 ? b64Value(group_[3]) : 0;
    if (k > 1)
        out += static_cast<char>((a << 2) | (b >> 4));
    if (k > 2) {
        if (group_[2] == '=')
            endsAfterLine_ = true;
        else
            out += static_cast<char>((b << 4) | (c >> 2));
    }
    if (k > 3) {
        if (group_[3] == '=')
            endsAfterLine_ = true;
        else
            out += static_cast<char>((c << 6) | d);
    }
    groupLen_ = 0;
}

void TBase64LineDecoder::EndLine(std::string& out)
{
    if (!stopped_) {
        if (phase_ == Head && headLen_ == 3) {
            // A line of three characters: judged now, its last one held.
            phase_ = Lead;
            for (size_t h = 0; h < 3 && !stopped_; ++h)
                Take(head_[h], out);
        }
        if (phase_ == Groups && groupLen_ > 0 && !stopped_)
            Group(groupLen_, out);
        if (endsAfterLine_)
            stopped_ = true;
    }
    phase_ = Head;
    headLen_ = 0;
    held_ = false;
    groupLen_ = 0;
}

void EncodeLines(const unsigned char* data, size_t count, UUMethods method, std::string& out)
{
    const bool mime = method == uuMime;
    const char* t = mime ? MimeTable : UUTABLE;
    char line[64];
    for (size_t at = 0; at < count; at += 45) {
        const size_t len = encodeLine(data + at, std::min<size_t>(45, count - at), t, mime, line);
        out.append(line, len);
    }
}

int64_t EncodedLinesSize(int64_t count, UUMethods method)
{
    const int64_t full = count / 45, rest = count % 45;
    const bool mime = method == uuMime;
    int64_t size = full * (mime ? 62 : 63);
    if (rest > 0)
        size += (mime ? (rest + 2) / 3 * 4 : 1 + rest / 3 * 4 + (rest % 3 ? rest % 3 + 1 : 0)) + 2;
    return size;
}
