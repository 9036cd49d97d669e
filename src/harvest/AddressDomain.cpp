#include "AddressDomain.h"
#include "Nmurl.h"

#include "Idn.h"

#include <QLoggingCategory>

#include <algorithm>
#include <QStringDecoder>

#include <libpsl.h>

#include <cstring>
#include <utility>

Q_LOGGING_CATEGORY(lcAddressDomain, "corvina.harvest.domain", QtWarningMsg)

namespace {

bool isValidUtf8(const std::string& s)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(s.data(), static_cast<qsizetype>(s.size())));
    return !utf8.hasError();
}

bool isLdhName(const std::string& name)
{
    if (name.empty() || name.size() > 253)
        return false;
    size_t label = 0;
    for (char c : name) {
        if (c == '.') {
            if (label == 0)
                return false;
            label = 0;
            continue;
        }
        const bool ldh = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
        if (!ldh || ++label > 63)
            return false;
    }
    return label > 0;
}

} // namespace

std::string DecodeDomainEscapes(std::string_view domain)
{
    std::string out;
    out.reserve(domain.size());
    bool decoded = false;
    for (size_t k = 0; k < domain.size(); ++k) {
        if (domain[k] == '%' && k + 2 < domain.size()) {
            const int hi = HexDigitValue(domain[k + 1]);
            const int lo = HexDigitValue(domain[k + 2]);
            if (hi >= 8 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                k += 2;
                decoded = true;
                continue;
            }
        }
        out += domain[k];
    }
    if (!decoded)
        return out;
    if (!isValidUtf8(out)) {
        qCInfo(lcAddressDomain, "escapes in a domain are not UTF-8; kept as they are");
        return std::string(domain);
    }
    return out;
}

bool IsPublicDomain(std::string_view domain)
{
    // A name already in lower-case ASCII needs no decoding or conversion.
    const bool plain = std::all_of(domain.begin(), domain.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
    });
    std::string name = plain ? std::string(domain) : DecodeDomainEscapes(domain);
    while (!name.empty() && name.back() == '.')
        name.pop_back();
    if (!plain)
        name = HostToAce(name);
    if (!isLdhName(name))
        return false;
    const psl_ctx_t* psl = psl_builtin();
    if (!psl) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcAddressDomain, "no public suffix list built in; every domain is taken");
        return true;
    }
    const char* registrable = psl_registrable_domain(psl, name.c_str());
    if (!registrable)
        return false;
    // Unlisted top-level names count as suffixes in the list's own lookup
    // ("s.example" would be registrable); the suffix must be a listed one.
    const char* dot = std::strchr(registrable, '.');
    return dot && psl_is_public_suffix2(psl, dot + 1, PSL_TYPE_ANY | PSL_TYPE_NO_STAR_RULE) != 0;
}

bool HasPublicDomain(std::string_view address)
{
    const size_t at = address.find('@');
    return at != std::string_view::npos && IsPublicDomain(address.substr(at + 1));
}
