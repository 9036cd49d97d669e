// corvina-cli mail: the assembled message (--dry-run), usage errors, a
// scripted server's refusals and a real server (aiosmtpd) that receives and
// decodes what was sent.
#include "ScriptServer.h"
#include "SmtpSink.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <regex>

using namespace testnet;

namespace {

testutil::ProcessResult mail(std::vector<std::string> args, const std::string& body = {})
{
    args.insert(args.begin(), "mail");
    return testutil::runProcess(CORVINA_CLI_PATH, args, body);
}

const std::vector<std::string> kBase{"--from", "ann@example.org", "--from-name", "Ann", "--to", "bob@x.org"};

std::vector<std::string> with(std::vector<std::string> extra)
{
    std::vector<std::string> all = kBase;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

// The Date and Message-ID lines of a message taken out, once each is seen
// to be in its form: they change with the clock.
std::string undated(const std::string& text)
{
    static const std::regex dated("Date: (Mon|Tue|Wed|Thu|Fri|Sat|Sun), \\d\\d (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|"
                                  "Oct|Nov|Dec) \\d{4} \\d\\d:\\d\\d:\\d\\d [+-]\\d{4}\r\n"
                                  "Message-ID: <\\d{14}\\.[0-9a-z]{16}@example\\.org>\r\n");
    std::smatch m;
    EXPECT_TRUE(std::regex_search(text, m, dated)) << text;
    return m.empty() ? text : m.prefix().str() + m.suffix().str();
}

} // namespace

TEST(CliMail, DryRunPrintsTheMessageAsItFollowsData)
{
    auto r = mail(with({"--dry-run", "--subject", "Hi", "--reply-to", "r@x.org", "--cc", "c1@x.org", "--cc=c2@x.org",
                        "--bcc", "hidden@x.org"}),
                  "one\n.two\n...\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(undated(r.out), "From: Ann<ann@example.org>\r\nTo: bob@x.org\r\nCC: c1@x.org,c2@x.org\r\nSubject: Hi\r\n"
                     "X-Mailer: Corvina\r\nReply-To: r@x.org\r\nMime-Version: 1.0\r\n"
                     "Content-Type: text/plain; charset=us-ascii\r\n\r\n\r\none\r\n..two\r\n....\r\n");

    r = mail(with({"--dry-run", "--html"}), "<p>x</p>");
    EXPECT_NE(r.out.find("Content-Type: text/html; charset=us-ascii\r\n\r\n\r\n<p>x</p>\r\n"), std::string::npos);

    testutil::TempDir dir;
    testutil::writeFile(dir.file("a.bin"), std::string(14, '\x01'));
    r = mail(with({"--dry-run", "--uucode", "--html", "--attach", dir.file("a.bin")}), "text");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Content-Type: multipart/mixed; boundary=\"===================="), std::string::npos);
    EXPECT_NE(r.out.find("Content-Type: text/plain; charset=us-ascii\r\n\r\ntext\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("name=\"a.bin\"\r\nContent-Transfer-Encoding: x-uuencode\r\n"), std::string::npos);
    EXPECT_NE(r.out.find("begin 644 a.bin\r\n..`0$!`0$!`0$!`0$!`0$\r\n`\r\nend\r\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 8), "====--\r\n");
    EXPECT_EQ(r.out.find("\r\n.\r\n"), std::string::npos);
}

TEST(CliMail, UsageErrorsExitTwo)
{
    const std::vector<std::vector<std::string>> rows{
        {"--to", "a@x.org", "--dry-run"},                    // no sender
        with({"--server", "127.0.0.1"}),                     // no HELO name
        with({"--dry-run", "--bogus"}),
        with({"--dry-run", "--to"}),
        with({"--dry-run", "--timeout", "soon"}),
        with({"--dry-run", "--timeout=-1"}),
    };
    for (const auto& args : rows) {
        const auto r = mail(args);
        EXPECT_EQ(r.exitCode, 2) << args.back();
        EXPECT_NE(r.err.find("usage: corvina-cli mail"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(mail(with({"--dry-run", "--attach", "/nonexistent/file"})).exitCode, 1);
    // Only regular files are attached: a device would give bytes for ever.
    const auto r = mail(with({"--dry-run", "--attach", "/dev/zero"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: Cannot open file \"/dev/zero\". Not a regular file\n");
}

TEST(CliMail, ScriptedServerTranscriptAndRefusal)
{
    const Script accept{Send("220 hi\r\n"),         ReadUntil("\r\n"),      Send("250 hello\r\n"),
                        ReadUntil("RSET\r\n"),      Send("250 ok\r\n"),     ReadUntil(">\r\n"),
                        Send("250 ok\r\n"),         ReadUntil(">\r\n"),     Send("250 ok\r\n"),
                        ReadUntil("DATA\r\n"),      Send("354 go\r\n"),     ReadUntil("\r\n.\r\n"),
                        Send("250 queued\r\n"),     ReadUntil("QUIT\r\n"),  Send("221 bye\r\n"),
                        Close()};
    const Script refuse{Send("220 hi\r\n"),    ReadUntil("\r\n"),      Send("250 hello\r\n"),
                        ReadUntil("RSET\r\n"), Send("250 ok\r\n"),     ReadUntil(">\r\n"),
                        Send("553 5.7.1 sender refused\r\n"), Close()};
    ScriptServer srv({accept, refuse});
    const std::string server = "127.0.0.1:" + std::to_string(srv.port());
    auto r = mail(with({"--server", server, "--helo", "me.example", "--subject", "S"}), "body");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = mail(with({"--server", server, "--helo", "me.example"}), "body");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + server + ": 553 5.7.1 sender refused\n");
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(undated(srv.received(0)), "HELO me.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\nRCPT TO:<bob@x.org>\r\n"
                               "DATA\r\nFrom: Ann<ann@example.org>\r\nTo: bob@x.org\r\nSubject: S\r\n"
                               "X-Mailer: Corvina\r\nMime-Version: 1.0\r\n"
                               "Content-Type: text/plain; charset=us-ascii\r\n\r\n\r\nbody\r\n.\r\nQUIT\r\n");

    // Nobody listening: a connection failure, exit 1.
    r = mail(with({"--server", "127.0.0.1:1", "--helo", "me"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err.rfind("corvina-cli: 127.0.0.1:1: ", 0), 0u) << r.err;
}

TEST(CliMail, RealServerDecodesAttachmentsByteForByte)
{
    SmtpSink sink;
    ASSERT_NE(sink.port(), 0);
    testutil::TempDir dir;
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary += static_cast<char>((i * 131 + i / 7) & 255);
    testutil::writeFile(dir.file("data.bin"), binary);
    testutil::writeFile(dir.file("note.txt"), ".starts with a dot\r\n.\r\n");
    for (const char* mode : {"--html", "--uucode"}) {
        auto r = mail(with({"--server", sink.server(), "--helo", "me.example", "--subject", "Files & more", "--cc",
                            "Cy <cy@x.org>", "--bcc", "bcc@x.org", "--attach", dir.file("data.bin"), "--attach",
                            dir.file("note.txt"), mode}),
                      "See attached.\n.\n");
        EXPECT_EQ(r.exitCode, 0) << r.err;
    }
    ASSERT_TRUE(sink.waitMessages(2, 20000));
    for (int i = 0; i < 2; ++i) {
        const QJsonObject m = sink.parse(i);
        EXPECT_EQ(SmtpSink::header(m, "To"), "bob@x.org");
        EXPECT_EQ(SmtpSink::header(m, "CC"), "Cy <cy@x.org>");
        EXPECT_EQ(SmtpSink::header(m, "Subject"), "Files & more");
        EXPECT_EQ(SmtpSink::header(m, "Bcc"), "");
        // The line end before a boundary belongs to the boundary.
        EXPECT_EQ(m.value("text").toString().toStdString(), "See attached.\n.");
        const QJsonArray files = m.value("attachments").toArray();
        ASSERT_EQ(files.size(), 2);
        EXPECT_EQ(files[0].toObject().value("filename").toString(), "data.bin");
        EXPECT_EQ(QByteArray::fromBase64(files[0].toObject().value("data").toString().toLatin1()).toStdString(),
                  binary);
        EXPECT_EQ(files[1].toObject().value("filename").toString(), "note.txt");
        EXPECT_EQ(QByteArray::fromBase64(files[1].toObject().value("data").toString().toLatin1()).toStdString(),
                  ".starts with a dot\r\n.\r\n");
        const QJsonArray to = sink.envelope(i).value("to").toArray();
        ASSERT_EQ(to.size(), 3);
        EXPECT_EQ(to[2].toString(), "bcc@x.org");
    }
}

TEST(CliMail, RefusalsExitOneAndNameTheServer)
{
    const Script head{Send("220 hi\r\n"), ReadUntil("\r\n"), Send("250 hello\r\n"), ReadUntil("RSET\r\n"),
                      Send("250 ok\r\n"), ReadUntil(">\r\n"), Send("250 ok\r\n")};
    auto script = [&](std::vector<std::pair<std::string, std::string>> tail) {
        Script s = head;
        for (const auto& [until, reply] : tail) {
            s.push_back(ReadUntil(until));
            s.push_back(Send(reply));
        }
        s.push_back(ReadUntil("QUIT\r\n"));
        s.push_back(Send("221 bye\r\n"));
        s.push_back(Close());
        return s;
    };
    const std::string unknown = "550-5.1.1 unknown\r\n550 5.1.1 user\r\n";
    ScriptServer srv({
        // One of two recipients refused: the message goes to the other.
        script({{">\r\n", unknown}, {">\r\n", "250 ok\r\n"}, {"DATA\r\n", "354 go\r\n"},
                {"\r\n.\r\n", "250 queued\r\n"}}),
        // Every recipient refused: no DATA.
        script({{">\r\n", unknown}, {">\r\n", "550 nobody\r\n"}}),
        // An end of data answered without a code.
        script({{">\r\n", "250 ok\r\n"}, {">\r\n", "250 ok\r\n"}, {"DATA\r\n", "354 go\r\n"},
                {"\r\n.\r\n", "queued, probably\r\n"}}),
    });
    const std::string server = "127.0.0.1:" + std::to_string(srv.port());
    const auto args = with({"--server", server, "--helo", "me.example", "--to", "two@x.org"});
    auto verbose = args;
    verbose.push_back("-v");
    auto r = mail(verbose, "body");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + server + ": recipient refused: bob@x.org: 550-5.1.1 unknown 550 5.1.1 user\n"
                     "corvina-cli: " + server + " refused 1 recipient; the message went to the others\n");
    r = mail(args, "body");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + server + ": Every recipient was refused: 550 nobody\n");
    r = mail(args, "body");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: " + server + ": queued, probably\n");
    ASSERT_TRUE(srv.waitDone(10000));
    EXPECT_EQ(srv.received(1), "HELO me.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\nRCPT TO:<bob@x.org>\r\n"
                               "RCPT TO:<two@x.org>\r\nQUIT\r\n");

    // A NUL byte in the text: refused before any connection.
    r = mail(with({"--server", "127.0.0.1:1", "--helo", "me"}), std::string("cut\0here", 8));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "corvina-cli: mail: the message text holds a NUL byte; nothing was sent\n");
    EXPECT_EQ(mail(with({"--dry-run"}), std::string("\0", 1)).exitCode, 1);
}

TEST(CliMail, RealServerDecodesTextBeyondAsciiAsWritten)
{
    SmtpSink sink;
    ASSERT_NE(sink.port(), 0);
    const std::string name = "Zo\xC3\xAB \xC3\x9Cnal";
    const std::string subject = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC, " +
                                std::string(100, 'x');
    const std::string text = "\xC3\x87" "a va? =?not-a-word?= \xE6\x97\xA5\xE6\x9C\xAC\n.dot\n" +
                             std::string(1500, 'y') + " \nend";
    testutil::TempDir dir;
    testutil::writeFile(dir.file("\xC3\xA9t\xC3\xA9.txt"), "summer");
    auto r = mail({"--server", sink.server(), "--helo", "me.example", "--from", "ann@example.org", "--from-name", name,
                   "--to", "bob@x.org", "--subject", subject},
                  text);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = mail({"--server", sink.server(), "--helo", "me.example", "--from", "ann@example.org", "--from-name", name,
              "--to", "bob@x.org", "--subject", subject, "--attach", dir.file("\xC3\xA9t\xC3\xA9.txt")},
             text);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    ASSERT_TRUE(sink.waitMessages(2, 20000));
    for (int i = 0; i < 2; ++i) {
        const std::string raw = sink.raw(i);
        size_t at = 0;
        for (size_t end; (end = raw.find("\r\n", at)) != std::string::npos; at = end + 2)
            EXPECT_LE(end - at, 998u);
        EXPECT_EQ(std::count_if(raw.begin(), raw.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; }),
                  0);
        const QJsonObject m = sink.parse(i);
        EXPECT_EQ(SmtpSink::header(m, "From", true), name + " <ann@example.org>");
        EXPECT_EQ(SmtpSink::header(m, "Subject", true), subject);
        // The single part starts after the client's empty line; in the
        // multipart one the line end before the boundary is the boundary's.
        EXPECT_EQ(m.value("unicode_text").toString().toStdString(), i == 0 ? "\n" + text + "\n" : text);
        EXPECT_FALSE(SmtpSink::header(m, "Date").empty());
        EXPECT_FALSE(SmtpSink::header(m, "Message-ID").empty());
    }
    const QJsonArray files = sink.parse(1).value("attachments").toArray();
    ASSERT_EQ(files.size(), 1);
    EXPECT_EQ(files[0].toObject().value("filename").toString().toStdString(), "\xC3\xA9t\xC3\xA9.txt");
}
