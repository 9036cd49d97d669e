#include "Idn.h"

#include <QLoggingCategory>
#include <QString>
#include <QStringDecoder>
#include <QUrl>

Q_LOGGING_CATEGORY(lcIdn, "corvina.idn", QtWarningMsg)

namespace {

bool isAscii(const std::string& s)
{
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

void toLowerAscii(std::string& s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
}

} // namespace

std::string HostToAce(const std::string& host)
{
    if (isAscii(host)) {
        std::string lower = host;
        toLowerAscii(lower);
        return lower;
    }
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString name = utf8.decode(QByteArrayView(host.data(), static_cast<qsizetype>(host.size())));
    if (utf8.hasError()) {
        qCInfo(lcIdn, "host name is not UTF-8");
        return {};
    }
    const QByteArray ace = QUrl::toAce(name);
    if (ace.isEmpty()) {
        qCInfo(lcIdn, "host name has no ASCII form");
        return {};
    }
    std::string out(ace.constData(), static_cast<size_t>(ace.size()));
    toLowerAscii(out);
    return out;
}

std::string UrlWithAceHost(const std::string& url)
{
    size_t begin = 0;
    const size_t slashes = url.find("//");
    if (slashes != std::string::npos) {
        // The host is the third "/"-separated word, as the HTTP client reads it.
        const size_t first = url.find('/');
        const size_t second = url.find('/', first + 1);
        begin = second + 1;
    } else if (url.empty() || url[0] == '/') {
        return url;
    }
    size_t end = url.find('/', begin);
    if (end == std::string::npos)
        end = url.size();
    const size_t colon = url.find(':', begin);
    if (colon < end)
        end = colon;
    const std::string host = url.substr(begin, end - begin);
    if (isAscii(host))
        return url;
    const std::string ace = HostToAce(host);
    if (ace.empty())
        return url;
    return url.substr(0, begin) + ace + url.substr(end);
}
