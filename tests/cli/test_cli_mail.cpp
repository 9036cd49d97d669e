// corvina-cli mail: the assembled message (--dry-run), usage errors, a
// scripted server's refusals and a real server (aiosmtpd) that receives and
// decodes what was sent.
#include "ScriptServer.h"
#include "SmtpSink.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <QByteArray>

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

} // namespace

TEST(CliMail, DryRunPrintsTheMessageAsItFollowsData)
{
    auto r = mail(with({"--dry-run", "--subject", "Hi", "--reply-to", "r@x.org", "--cc", "c1@x.org", "--cc=c2@x.org",
                        "--bcc", "hidden@x.org"}),
                  "one\n.two\n...\n");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "From: Ann<ann@example.org>\r\nTo: bob@x.org\r\nCC: c1@x.org,c2@x.org\r\nSubject: Hi\r\n"
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
    EXPECT_EQ(srv.received(0), "HELO me.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\nRCPT TO:<bob@x.org>\r\n"
                               "DATA\r\nFrom: Ann<ann@example.org>\r\nTo: bob@x.org\r\nSubject: S\r\n"
                               "X-Mailer: Corvina\r\nMime-Version: 1.0\r\n"
                               "Content-Type: text/plain; charset=us-ascii\r\n\r\n\r\nbody\r\n.\r\nQUIT\r\n");

    // Nobody listening: a connection failure, exit 1.
    r = mail(with({"--server", "127.0.0.1:1", "--helo", "me"}));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.empty());
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
