#include "JsonResults.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <cmath>
#include <limits>

namespace {

QJsonValue at(const QJsonObject& root, const std::string& path)
{
    QJsonValue v = root;
    const QStringList keys = QString::fromStdString(path).split(QLatin1Char('.'));
    for (const QString& key : keys) {
        if (!v.isObject())
            return QJsonValue(QJsonValue::Undefined);
        v = v.toObject().value(key);
    }
    return v;
}

std::optional<int32_t> totalOf(const QJsonValue& v)
{
    double d = 0;
    if (v.isDouble())
        d = v.toDouble();
    else if (v.isString()) {
        bool ok = false;
        d = v.toString().toDouble(&ok);
        if (!ok)
            return std::nullopt;
    } else
        return std::nullopt;
    if (!std::isfinite(d) || d < 1)
        return std::nullopt;
    if (d >= static_cast<double>(std::numeric_limits<int32_t>::max()))
        return std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(d);
}

std::string statusError(const TJsonShape& shape, int status)
{
    if (status == 403)
        return shape.forbidden.empty() ? "The search engine refused the query (HTTP 403)." : shape.forbidden;
    if (status == 429)
        return "The search engine is limiting the rate of queries (HTTP 429): wait a while, then search again.";
    return "The search engine answered HTTP " + std::to_string(status) + ".";
}

} // namespace

TJsonAnswer ReadJsonAnswer(const TJsonShape& shape, std::string_view body, int status)
{
    TJsonAnswer answer;
    QJsonParseError parseError{};
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())), &parseError);
    const bool isObject = parseError.error == QJsonParseError::NoError && doc.isObject();
    const QJsonObject root = doc.object();

    // The engine's own word on the query comes first: it says more than the
    // HTTP status that carries it.
    if (isObject && !shape.status.empty()) {
        const QJsonValue s = at(root, shape.status);
        const std::string text = s.isString() ? s.toString().toStdString() : std::string();
        if (text != shape.statusOk) {
            answer.error = "The search engine answered: " + (text.empty() ? std::string("no status") : text);
            return answer;
        }
    }
    if (status >= 400) {
        answer.error = statusError(shape, status);
        return answer;
    }
    if (!isObject) {
        answer.error = "The search engine's answer is not JSON.";
        return answer;
    }

    const QJsonValue results = at(root, shape.results);
    if (results.isArray()) {
        const QString urlKey = QString::fromStdString(shape.url);
        for (const QJsonValue r : results.toArray()) {
            const QJsonValue url = r.toObject().value(urlKey);
            if (url.isString())
                answer.links.push_back(url.toString().toStdString());
        }
    }
    answer.total = totalOf(at(root, shape.total));
    return answer;
}

std::string PercentEncodeQueryValue(const std::string& text)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~')
            out += ch;
        else if (c == ' ')
            out += '+';
        else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}
