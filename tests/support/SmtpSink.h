// A real SMTP server for the tests: Debian's aiosmtpd, run by smtp_sink.py on
// a free loopback port. Each accepted message is stored; parse() reads one
// back with Python's email package.
//
//   SmtpSink sink;
//   ... send to 127.0.0.1:sink.port() ...
//   ASSERT_TRUE(sink.waitMessages(1, 10000));
//   QJsonObject m = sink.parse(0);   // headers, text, attachments
#pragma once

#include "TestUtil.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <string>

class SmtpSink {
public:
    SmtpSink()
    {
        proc_.setProgram(QStringLiteral("/usr/bin/python3"));
        proc_.setArguments({script(), QStringLiteral("serve"), QString::fromStdString(dir_.path())});
        proc_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        proc_.start();
        if (proc_.waitForStarted(10000) && proc_.waitForReadyRead(20000))
            port_ = proc_.readLine().trimmed().toInt();
    }
    ~SmtpSink()
    {
        proc_.closeWriteChannel();
        if (!proc_.waitForFinished(10000))
            proc_.kill();
        proc_.waitForFinished(2000);
    }
    SmtpSink(const SmtpSink&) = delete;
    SmtpSink& operator=(const SmtpSink&) = delete;

    uint16_t port() const { return static_cast<uint16_t>(port_); }
    std::string server() const { return "127.0.0.1:" + std::to_string(port_); }

    int count() const
    {
        return static_cast<int>(QDir(QString::fromStdString(dir_.path()))
                                    .entryList({QStringLiteral("*.eml")}, QDir::Files)
                                    .size());
    }
    // Waits (servicing the event queue) until n messages are stored.
    bool waitMessages(int n, int ms) const
    {
        QElapsedTimer t;
        t.start();
        while (count() < n && t.elapsed() < ms) {
            QCoreApplication::processEvents();
            QThread::msleep(20);
        }
        return count() >= n;
    }
    std::string raw(int i) const { return testutil::readFile(file(i, ".eml")); }
    // {"helo", "from", "to": [...]}
    QJsonObject envelope(int i) const
    {
        return QJsonDocument::fromJson(QByteArray::fromStdString(testutil::readFile(file(i, ".json")))).object();
    }
    // {"headers": [[name, value]...], "decoded": [[name, value]...], "text", "unicode_text",
    //  "attachments": [{"filename", "type", "data" (Base64)}]}
    QJsonObject parse(int i) const
    {
        const testutil::ProcessResult r =
            testutil::runProcess("/usr/bin/python3", {script().toStdString(), "parse", file(i, ".eml")});
        return QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    }
    // The value of the first header of that name ("" when there is none);
    // with decoded, as UTF-8 decoded from its encoded words.
    static std::string header(const QJsonObject& parsed, const std::string& name, bool decoded = false)
    {
        for (const QJsonValue& h : parsed.value(QLatin1String(decoded ? "decoded" : "headers")).toArray()) {
            const QJsonArray pair = h.toArray();
            if (pair.at(0).toString().compare(QString::fromStdString(name), Qt::CaseInsensitive) == 0)
                return pair.at(1).toString().toStdString();
        }
        return {};
    }

private:
    static QString script() { return QStringLiteral(CORVINA_SOURCE_DIR "/tests/support/smtp_sink.py"); }
    std::string file(int i, const char* ext) const
    {
        char name[32];
        std::snprintf(name, sizeof name, "%05d%s", i, ext);
        return dir_.file(name);
    }

    testutil::TempDir dir_;
    QProcess proc_;
    int port_ = 0;
};
