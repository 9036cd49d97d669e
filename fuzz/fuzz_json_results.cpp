// The JSON engines' answer reader. The first byte picks the engine's shape
// and the mode. Raw mode: the rest is the body, read under a status taken
// from the second byte; the reader never throws, an error status or a body
// that is not a JSON object is always an error, an error carries no links and
// no total, and a total is at least 1. Built mode: the rest, split at zero
// bytes, becomes the results of an answer in the engine's shape (each piece
// a string url, a number url, an object without url or a bare string,
// chosen by its first byte); the links read are exactly the string urls, in
// order.
#include "Engines.h"
#include "JsonResults.h"
#include "FuzzCheck.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

// Puts value at the dotted path inside root.
void put(QJsonObject& root, const QStringList& keys, int k, const QJsonValue& value)
{
    if (k == keys.size() - 1) {
        root.insert(keys[k], value);
        return;
    }
    QJsonObject inner = root.value(keys[k]).toObject();
    put(inner, keys, k + 1, value);
    root.insert(keys[k], inner);
}

QStringList keysOf(const std::string& path) { return QString::fromStdString(path).split(QLatin1Char('.')); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const TEngine engine = (data[0] & 1) ? TEngine::Mojeek : TEngine::SearXNG;
    const TJsonShape& shape = EngineRow(engine)->json;
    const std::string rest = FuzzBytes(data + 2, size - 2);

    if ((data[0] & 2) == 0) {
        const int statuses[] = {0, 200, 204, 301, 403, 404, 429, 500};
        const int status = statuses[data[1] % 8];
        TJsonAnswer a;
        try {
            a = ReadJsonAnswer(shape, rest, status);
        } catch (...) {
            FUZZ_CHECK(!"the reader threw");
        }
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(rest.data(), static_cast<qsizetype>(rest.size())));
        if (status >= 400 || !doc.isObject())
            FUZZ_CHECK(!a.error.empty());
        if (!a.error.empty())
            FUZZ_CHECK(a.links.empty() && !a.total);
        if (a.total)
            FUZZ_CHECK(*a.total >= 1);
        return 0;
    }

    QJsonArray results;
    std::vector<std::string> expected;
    size_t from = 0;
    while (from <= rest.size()) {
        size_t end = rest.find('\0', from);
        if (end == std::string::npos)
            end = rest.size();
        const std::string piece = rest.substr(from, end - from);
        const QString text = QString::fromUtf8(piece.data(), static_cast<qsizetype>(piece.size()));
        switch (piece.empty() ? 0 : static_cast<unsigned char>(piece[0]) % 4) {
        case 0:
            results.append(QJsonObject{{QString::fromStdString(shape.url), text}, {QStringLiteral("title"), 1}});
            expected.push_back(text.toStdString());
            break;
        case 1:
            results.append(QJsonObject{{QString::fromStdString(shape.url), static_cast<double>(piece.size())}});
            break;
        case 2:
            results.append(QJsonObject{{QStringLiteral("title"), text}});
            break;
        default:
            results.append(text);
            break;
        }
        from = end + 1;
    }
    QJsonObject root;
    put(root, keysOf(shape.results), 0, results);
    put(root, keysOf(shape.total), 0, static_cast<double>(data[1]));
    if (!shape.status.empty())
        put(root, keysOf(shape.status), 0, QString::fromStdString(shape.statusOk));
    const QByteArray body = QJsonDocument(root).toJson(QJsonDocument::Compact);
    const TJsonAnswer a = ReadJsonAnswer(shape, body.toStdString(), 200);
    FUZZ_CHECK(a.error.empty());
    FUZZ_CHECK(a.links == expected);
    FUZZ_CHECK(data[1] == 0 ? !a.total : a.total == static_cast<int32_t>(data[1]));
    return 0;
}
