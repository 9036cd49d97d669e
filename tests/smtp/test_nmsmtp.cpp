// The SMTP client: message assembly (exact header and body bytes) and the
// dialogue against scripted servers (exact bytes on the wire), including
// servers that refuse, stall, close or never stop talking.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <fstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "Nmsmtp.h"
#include "ScriptServer.h"
#include "TestUtil.h"

using namespace testnet;

namespace {

TStringList lines(std::initializer_list<const char*> items)
{
    TStringList l;
    for (const char* s : items)
        l.Add(s);
    return l;
}

// A scripted SMTP server: the greeting, then for each pair the text to wait
// for and the reply to give.
Script smtp(const std::string& greeting, const std::vector<std::pair<std::string, std::string>>& exchanges,
            bool close = true)
{
    Script s{Send(greeting)};
    for (const auto& [until, reply] : exchanges) {
        s.push_back(ReadUntil(until));
        if (!reply.empty())
            s.push_back(Send(reply));
    }
    if (close)
        s.push_back(Close());
    return s;
}

// A client with a fixed boundary source and a record of its events.
struct Client {
    TNMSMTP smtp;
    std::vector<std::string> events;

    explicit Client(uint16_t port = 0)
    {
        smtp.Host = "127.0.0.1";
        smtp.Port = port;
        smtp.TimeOut = 5000;
        smtp.UserID = "client.example";
        smtp.Random = [](int range) { return 7 % range; }; // "h" every time
        smtp.Clock = [] { return QDateTime(QDate(2026, 12, 8), QTime(17, 5, 9), Qt::OffsetFromUTC, -19800); };
        smtp.OnConnect = [this](QObject*) { events.push_back("connect"); };
        smtp.OnSendStart = [this](QObject*) { events.push_back("start"); };
        smtp.OnSuccess = [this](QObject*) { events.push_back("success"); };
        smtp.OnFailure = [this](QObject*) { events.push_back("failure"); };
        smtp.OnRecipientNotFound = [this](const std::string& r) { events.push_back("notfound " + r); };
    }
    void fill()
    {
        TPostMessage& m = smtp.PostMessage;
        m.FromName = "Ann Bee";
        m.FromAddress = "ann@example.org";
        m.ToAddress = lines({"Cid <cid@example.org>", "dee@example.org"});
        m.ToCarbonCopy = lines({"eve@example.org"});
        m.ToBlindCarbonCopy = lines({"fay@example.org"});
        m.Subject = "Hello";
        m.LocalProgram = "Corvina";
        m.Date = "12/8/26";
        m.ReplyTo = "ann@example.org";
        m.Body = lines({"Hi", ".x"});
    }
};

template <class F>
std::string messageOf(F&& f)
{
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no exception>";
}

const std::string kHeader = "From: Ann Bee<ann@example.org>\r\n"
                            "To: Cid <cid@example.org>,dee@example.org\r\n"
                            "CC: eve@example.org\r\n"
                            "Subject: Hello\r\n"
                            "X-Mailer: Corvina\r\n"
                            "Reply-To: ann@example.org\r\n"
                            "Date: 12/8/26\r\n"
                            "Message-ID: <20261208223509.7777777777777777@example.org>\r\n"
                            "Mime-Version: 1.0\r\n"
                            "Content-Type: text/plain; charset=us-ascii\r\n";
const std::string kBoundary = "====================54535hhhhhh====";

// The replies of a server that accepts one message with the four
// recipients of Client::fill.
std::vector<std::pair<std::string, std::string>> acceptAll(int recipients = 4)
{
    std::vector<std::pair<std::string, std::string>> x{{"\r\n", "250 hello\r\n"}, {"RSET\r\n", "250 ok\r\n"},
                                                       {">\r\n", "250 sender ok\r\n"}};
    for (int i = 0; i < recipients; ++i)
        x.push_back({">\r\n", "250 rcpt ok\r\n"});
    x.push_back({"DATA\r\n", "354 go ahead\r\n"});
    x.push_back({"\r\n.\r\n", "250 queued\r\n"});
    return x;
}

} // namespace

// ------------------------------------------------------------------ assembly

TEST(SmtpAssembly, HeaderLinesBodyAndDotStuffing)
{
    Client c;
    c.fill();
    c.smtp.PostMessage.Body = lines({"Hi", ".x", ".", "...", "", "end."});
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.Text(), kHeader);
    EXPECT_EQ(c.smtp.BodyStream().DataString(), "Hi\r\n..x\r\n..\r\n....\r\n\r\nend.\r\n");

    // Empty fields drop their lines and keep the order; an empty name gives
    // "<" right after "From: "; blind copies never appear.
    TPostMessage& m = c.smtp.PostMessage;
    m.FromName.clear();
    m.Subject.clear();
    m.LocalProgram.clear();
    m.ReplyTo.clear();
    m.Date.clear();
    m.ToCarbonCopy.Clear();
    m.Body.Clear();
    c.smtp.AssembleMail();
    // Without a Date of its own the message is dated by the client's clock.
    EXPECT_EQ(c.smtp.FinalHeader.Text(), "From: <ann@example.org>\r\n"
                                         "To: Cid <cid@example.org>,dee@example.org\r\n"
                                         "Date: Tue, 08 Dec 2026 17:05:09 -0530\r\n"
                                         "Message-ID: <20261208223509.7777777777777777@example.org>\r\n"
                                         "Mime-Version: 1.0\r\n"
                                         "Content-Type: text/plain; charset=us-ascii\r\n");
    EXPECT_EQ(c.smtp.BodyStream().DataString(), "");
}

TEST(SmtpAssembly, ContentTypeFollowsSubTypeAndCharset)
{
    const std::pair<TSubType, const char*> rows[] = {
        {mtPlain, "Content-Type: text/plain; charset=iso-8859-1"},
        {mtEnriched, "Content-Type: text/enriched; charset=iso-8859-1"},
        {mtSgml, "Content-Type: text/sgml; charset=iso-8859-1"},
        {mtTabSeperated, "Content-Type: text/tab-separated-values; charset=iso-8859-1"},
        {mtHtml, "Content-Type: text/html; charset=iso-8859-1"},
    };
    for (const auto& [type, line] : rows) {
        Client c;
        c.fill();
        c.smtp.SubType = type;
        c.smtp.Charset = "iso-8859-1";
        c.smtp.AssembleMail();
        EXPECT_EQ(c.smtp.FinalHeader[c.smtp.FinalHeader.Count() - 1], line) << type;
    }
}

TEST(SmtpAssembly, AttachmentsAreMultipartWithFileNamesOnly)
{
    testutil::TempDir dir;
    testutil::writeFile(dir.file("one.bin"), std::string("\x00\x01\x02hello", 8));
    testutil::writeFile(dir.file("two \"q\".txt"), "abc");
    Client c;
    c.fill();
    c.smtp.SubType = mtHtml; // the text part is plain text all the same
    c.smtp.PostMessage.Attachments = lines({});
    c.smtp.PostMessage.Attachments.Add(dir.file("one.bin"));
    c.smtp.PostMessage.Attachments.Add(dir.file("two \"q\".txt"));
    std::vector<std::string> seen;
    c.smtp.OnEncodeStart = [&](const std::string& f) { seen.push_back("start " + f); };
    c.smtp.OnEncodeEnd = [&](const std::string& f) { seen.push_back("end " + f); };
    c.smtp.AssembleMail();

    EXPECT_EQ(c.smtp.Boundary(), kBoundary);
    EXPECT_EQ(c.smtp.Boundary().size(), 35u);
    EXPECT_EQ(c.smtp.FinalHeader[c.smtp.FinalHeader.Count() - 1],
              "Content-Type: multipart/mixed; boundary=\"" + kBoundary + "\"");
    EXPECT_EQ(c.smtp.BodyStream().DataString(),
              "--" + kBoundary + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nHi\r\n..x\r\n"
              "--" + kBoundary + "\r\nContent-Type: application/octet-stream; name=\"one.bin\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"one.bin\"\r\n\r\nAAECaGVsbG8=\r\n"
              "--" + kBoundary + "\r\nContent-Type: application/octet-stream; name=\"two \\\"q\\\".txt\"\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename=\"two \\\"q\\\".txt\"\r\n\r\nYWJj\r\n"
              "--" + kBoundary + "--\r\n");
    EXPECT_EQ(seen, (std::vector<std::string>{"start " + dir.file("one.bin"), "end " + dir.file("one.bin"),
                                              "start " + dir.file("two \"q\".txt"),
                                              "end " + dir.file("two \"q\".txt")}));

    // A new boundary per message, letters "a" to "y" only.
    int next = 0;
    c.smtp.Random = [&](int range) { return (next++ * 24) % range; };
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.Boundary(), "====================54535ayxwvu====");
}

TEST(SmtpAssembly, UuencodedAttachmentIsLabelledAndStuffed)
{
    // 14-byte lines begin with "." in uuencode; the server would strip it.
    testutil::TempDir dir;
    std::string data;
    for (int i = 0; i < 200; ++i)
        data += static_cast<char>(i * 7);
    data += "tail of 14 b.";
    data = data.substr(0, 45 * 4 + 14);
    testutil::writeFile(dir.file("f.dat"), data);
    Client c;
    c.fill();
    c.smtp.EncodeType = uuCode;
    c.smtp.PostMessage.Attachments.Add(dir.file("f.dat"));
    c.smtp.AssembleMail();
    const std::string body = c.smtp.BodyStream().DataString();
    EXPECT_NE(body.find("Content-Transfer-Encoding: x-uuencode\r\n"), std::string::npos);
    const size_t begin = body.find("begin 644 f.dat\r\n");
    const size_t end = body.find("end\r\n--" + kBoundary + "--\r\n");
    ASSERT_NE(begin, std::string::npos);
    ASSERT_NE(end, std::string::npos);
    std::string encoded = body.substr(begin + 17, end - begin - 17);
    EXPECT_NE(encoded.find("\r\n..") , std::string::npos);
    // Undo the stuffing as the server does: the lines decode to the file.
    std::string unstuffed;
    TStringList got;
    got.SetText(encoded);
    for (const std::string& l : got.Lines())
        unstuffed += (l.rfind("..", 0) == 0 ? l.substr(1) : l) + "\r\n";
    EXPECT_EQ(DecodeBuffer(unstuffed, uuCode), data);
}

TEST(SmtpAssembly, RecipientListsFoldOnlyWhereALineWouldPass998Bytes)
{
    Client c;
    c.fill();
    // A few harvested addresses stay on one line.
    c.smtp.PostMessage.ToAddress = lines({"webmaster@some-long-domain-name.example.org",
                                          "info@another-long-domain-name.example.org",
                                          "sales@yet-another-domain-name.example.org"});
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader[1], "To: webmaster@some-long-domain-name.example.org,"
                                     "info@another-long-domain-name.example.org,"
                                     "sales@yet-another-domain-name.example.org");

    TStringList many;
    std::string joined;
    for (int i = 0; i < 300; ++i) {
        const std::string a = "someone" + std::to_string(i) + "@example.org";
        many.Add(a);
        joined += (i ? "," : "") + a;
    }
    c.smtp.PostMessage.ToAddress = many;
    c.smtp.PostMessage.ToCarbonCopy = many;
    c.smtp.AssembleMail();
    const std::string to = c.smtp.FinalHeader[1];
    const std::string cc = c.smtp.FinalHeader[2];
    for (const std::string& field : {to, cc}) {
        TStringList physical;
        physical.SetText(field);
        EXPECT_GT(physical.Count(), 5);
        std::string unfolded;
        for (int i = 0; i < physical.Count(); ++i) {
            const std::string& l = physical[i];
            EXPECT_LE(l.size(), 998u) << l;
            // Folded only because the next entry would not have fitted.
            if (i + 1 < physical.Count()) {
                const std::string& next = physical[i + 1];
                const size_t comma = next.find(',');
                EXPECT_GT(l.size() + (comma == std::string::npos ? next.size() - 1 : comma), 998u) << l;
            }
            unfolded += l[0] == ' ' ? l.substr(1) : l;
        }
        EXPECT_EQ(unfolded.substr(4), joined);
    }
    EXPECT_EQ(to.substr(0, 4), "To: ");
    EXPECT_EQ(cc.substr(0, 4), "CC: ");
}

TEST(SmtpAssembly, LineBreaksCannotForgeHeaderLinesOrCommands)
{
    Client c;
    c.fill();
    c.smtp.PostMessage.Subject = "Hi\r\nBcc: victim@example.org";
    c.smtp.PostMessage.Body = lines({"one\ntwo\r\n.three", "x\rbare"});
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Subject"), "Hi  Bcc: victim@example.org");
    EXPECT_EQ(c.smtp.FinalHeader.IndexOfName("Bcc"), -1);
    EXPECT_EQ(c.smtp.BodyStream().DataString(), "one\r\ntwo\r\n..three\r\nx\r\nbare\r\n");
}

TEST(SmtpAssembly, ExtractAddress)
{
    const std::pair<const char*, const char*> rows[] = {
        {"Ann Bee <ann@example.org>", "ann@example.org"},
        {"<a@b>", "a@b"},
        {"x <a@b", "a@b"},
        {"x <a@b<c>", "a@b"},
        {"SMTP:ann@example.org", "ann@example.org"},
        {"tag: ann@example.org", " ann@example.org"},
        {"a:b:c", "b"},
        {"plain@example.org", "plain@example.org"},
        {"", ""},
    };
    for (const auto& [entry, address] : rows)
        EXPECT_EQ(TNMSMTP::ExtractAddress(entry), address) << entry;
}

TEST(SmtpReply, MultiLineRepliesFromBytes)
{
    struct Row {
        const char* bytes;
        int code;
        const char* last;
        int lines;
    };
    const Row rows[] = {
        {"250 ok\r\nnext", 250, "250 ok\r\n", 1},
        {"220-first\r\n220 last\r\n", 220, "220 last\r\n", 2},
        {"250-a\r\n250-b\r\n250 c\r\n", 250, "250 c\r\n", 3},
        {"250-a\r\n  indented\r\n250 c\r\n", 250, "250 c\r\n", 3},
        {"25\r\n", 25, "25\r\n", 1},
        {"250-a\r\n", 250, "", 2}, // the server closed inside the reply
        {"hello\r\n", 0, "hello\r\n", 1},
        {"", 0, "", 1},
    };
    for (const Row& r : rows) {
        const TSmtpReply reply = ParseSmtpReply(r.bytes);
        EXPECT_EQ(reply.Code, r.code) << r.bytes;
        EXPECT_EQ(reply.LastLine, r.last) << r.bytes;
        EXPECT_EQ(reply.Lines, r.lines) << r.bytes;
    }
    std::string endless;
    for (int i = 0; i < 20; ++i)
        endless += "250-more\r\n";
    EXPECT_EQ(messageOf([&] { ParseSmtpReply(endless, 10); }), "Reply too long");
    EXPECT_EQ(ParseSmtpReply(endless + "250 end\r\n", 21).Lines, 21);
    EXPECT_THROW(ParseSmtpReply(std::string(70000, '2')), ERangeError);
    EXPECT_THROW(ParseSmtpReply("99999 big\r\n"), ERangeError);
}

// -------------------------------------------------------------- the dialogue

TEST(SmtpSession, WholeMessageOnTheWire)
{
    auto x = acceptAll();
    x.push_back({"QUIT\r\n", "221 bye\r\n"});
    // The greeting and the HELO reply are multi-line; the rest follows.
    ScriptServer full({[&] {
        Script s = smtp("220-first\r\n220 last\r\n", {{"\r\n", "250-one\r\n250 two\r\n"}}, false);
        for (size_t i = 1; i < x.size(); ++i) {
            s.push_back(ReadUntil(x[i].first));
            s.push_back(Send(x[i].second));
        }
        s.push_back(Close());
        return s;
    }()});
    Client c(full.port());
    c.fill();
    int packets = 0;
    c.smtp.OnPacketSent = [&](QObject*) { ++packets; };
    c.smtp.Connect();
    EXPECT_TRUE(c.smtp.Connected());
    c.smtp.SendMail();
    EXPECT_EQ(c.smtp.TransferSize, 9);
    EXPECT_EQ(c.smtp.SentCount, 9);
    c.smtp.Disconnect();
    EXPECT_FALSE(c.smtp.Connected());
    ASSERT_TRUE(full.waitDone(5000));
    EXPECT_EQ(full.received(0), "HELO client.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\n"
                                "RCPT TO:<cid@example.org>\r\nRCPT TO:<dee@example.org>\r\n"
                                "RCPT TO:<eve@example.org>\r\nRCPT TO:<fay@example.org>\r\nDATA\r\n" +
                                    kHeader + "\r\n\r\nHi\r\n..x\r\n.\r\nQUIT\r\n");
    EXPECT_GE(packets, 1);
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect", "start", "success"}));
    // ClearParams: the recipient lists and attachments go, the text stays.
    const TPostMessage& m = c.smtp.PostMessage;
    EXPECT_EQ(m.ToAddress.Count() + m.ToCarbonCopy.Count() + m.ToBlindCarbonCopy.Count() + m.Attachments.Count(), 0);
    EXPECT_EQ(m.Body.Count(), 2);
    EXPECT_EQ(m.Subject, "Hello");
    EXPECT_FALSE(c.smtp.Busy());
}

TEST(SmtpSession, RefusedRecipientIsReportedAndSendingGoesOn)
{
    auto x = acceptAll();
    x[5].second = "550 no such user\r\n"; // the CC entry
    x[3].second = "251 will forward\r\n";
    ScriptServer srv({smtp("220 hi\r\n", x)});
    Client c(srv.port());
    c.fill();
    c.smtp.ClearParams = false;
    c.smtp.Connect();
    c.smtp.SendMail();
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect", "start", "notfound eve@example.org", "success"}));
    EXPECT_EQ(c.smtp.PostMessage.ToAddress.Count(), 2);
}

TEST(SmtpSession, HeloRefusalRetriesOnceWithTheHandlersName)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "501 bad name\r\n"},
                                          {"\r\n", "501 still bad\r\n"},
                                          {"QUIT\r\n", "221 bye\r\n"}}),
                      smtp("220 hi\r\n", {{"\r\n", "501-bad\r\n501 name\r\n"},
                                          {"\r\n", "250 welcome\r\n"}})});
    Client c(srv.port());
    int calls = 0;
    c.smtp.OnAuthenticationFailed = [&](bool& handled) {
        ++calls;
        c.smtp.UserID = "second.example";
        handled = true;
    };
    EXPECT_EQ(messageOf([&] { c.smtp.Connect(); }), "Authentication failed");
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_TRUE(c.events.empty());

    c.smtp.UserID = "first.example";
    c.smtp.Connect();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect"}));
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nHELO second.example\r\nQUIT\r\n");
    EXPECT_EQ(srv.received(1), "HELO first.example\r\nHELO second.example\r\n");
}

TEST(SmtpSession, RefusedGreetingAndHeloWithoutHandler)
{
    ScriptServer srv({smtp("421-busy\r\n421 try later\r\n", {{"QUIT\r\n", "221 bye\r\n"}}),
                      smtp("220 hi\r\n", {{"\r\n", "550 go away\r\n"}, {"QUIT\r\n", "221 bye\r\n"}})});
    Client c(srv.port());
    EXPECT_EQ(messageOf([&] { c.smtp.Connect(); }), "421 try later\r\n");
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_EQ(messageOf([&] { c.smtp.Connect(); }), "Authentication failed");
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "QUIT\r\n");
    EXPECT_EQ(srv.received(1), "HELO client.example\r\nQUIT\r\n");
    EXPECT_FALSE(c.smtp.Busy());
}

TEST(SmtpSession, IncompleteHeaderSendsNothing)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"},
                                          {"RSET\r\n", "250 ok\r\n"},
                                          {">\r\n", "250 ok\r\n"},
                                          {">\r\n", "250 ok\r\n"},
                                          {"DATA\r\n", "354 go\r\n"},
                                          {"\r\n.\r\n", "250 ok\r\n"}})});
    Client c(srv.port());
    c.smtp.Connect();
    c.fill();
    c.smtp.PostMessage.FromAddress.clear();
    EXPECT_EQ(messageOf([&] { c.smtp.SendMail(); }), "Incomplete Header");
    EXPECT_FALSE(c.smtp.Busy());

    // The handler is asked once per problem and may fill the field in.
    std::vector<int> kinds;
    c.smtp.PostMessage.ToAddress.Clear();
    c.smtp.PostMessage.ToCarbonCopy.Clear();
    c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
    c.smtp.PostMessage.FromAddress = "ann@example.org";
    c.smtp.OnHeaderIncomplete = [&](bool& handled, int kind) {
        kinds.push_back(kind);
        handled = kinds.size() > 1;
        c.smtp.PostMessage.ToAddress.Add("late@example.org");
    };
    EXPECT_EQ(messageOf([&] { c.smtp.SendMail(); }), "Incomplete Header");
    c.smtp.PostMessage.ToAddress.Clear();
    c.smtp.SendMail();
    EXPECT_EQ(kinds, (std::vector<int>{hiToAddress, hiToAddress}));
    c.smtp.AbortResume();
    ASSERT_TRUE(srv.waitDone(5000));
    const std::string got = srv.received(0);
    EXPECT_EQ(got.substr(0, 51), "HELO client.example\r\nRSET\r\nMAIL FROM:<ann@example.o");
    EXPECT_NE(got.find("RCPT TO:<late@example.org>\r\nDATA\r\n"), std::string::npos);
}

TEST(SmtpSession, RefusalsAtEachStepRaiseWithTheReply)
{
    struct Row {
        size_t step; // index into acceptAll(1)
        const char* reply;
        bool failureEvent;
    };
    const Row rows[] = {{1, "500 no reset\r\n", false},
                        {2, "553 sender refused\r\n", false},
                        {4, "554 no data\r\n", false},
                        {5, "552 too big\r\n", true}};
    for (const Row& r : rows) {
        auto x = acceptAll(1);
        x[r.step].second = r.reply;
        x.resize(r.step + 1);
        ScriptServer srv({smtp("220 hi\r\n", x, false)});
        Client c(srv.port());
        c.fill();
        c.smtp.PostMessage.ToCarbonCopy.Clear();
        c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        c.smtp.PostMessage.ToAddress = lines({"one@example.org"});
        c.smtp.Connect();
        EXPECT_EQ(messageOf([&] { c.smtp.SendMail(); }), r.reply);
        EXPECT_TRUE(c.smtp.Connected()) << r.reply;
        EXPECT_FALSE(c.smtp.Busy());
        EXPECT_EQ(c.events.back(), r.failureEvent ? "failure" : "start") << r.reply;
        c.smtp.AbortResume();
    }
}

TEST(SmtpSession, NestedSendDoesNothingAndQuitAfterServerClosed)
{
    ScriptServer srv({smtp("220 hi\r\n", acceptAll())});
    Client c(srv.port());
    c.fill();
    c.smtp.Connect();
    c.smtp.OnSendStart = [&](QObject*) {
        EXPECT_TRUE(c.smtp.Busy());
        c.smtp.SendMail(); // silently nothing
        EXPECT_FALSE(c.smtp.ExpandList("list"));
    };
    c.smtp.SendMail();
    c.smtp.AbortResume();
    ASSERT_TRUE(srv.waitDone(5000));
    const std::string got = srv.received(0);
    EXPECT_EQ(got.substr(got.size() - 8), "..x\r\n.\r\n");
    EXPECT_EQ(got.find("DATA"), got.rfind("DATA"));
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect", "success"}));
}

TEST(SmtpSession, QuitAfterTheServerClosedIsNoError)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"}})});
    Client c(srv.port());
    c.smtp.Connect();
    // The server's close arrives unnoticed: the queue is not serviced.
    ASSERT_TRUE(testutil::waitPeerGone(c.smtp.SocketHandle()));
    EXPECT_NO_THROW(c.smtp.Disconnect());
    EXPECT_FALSE(c.smtp.Connected());
    EXPECT_EQ(c.smtp.ReplyCode, 0);
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nQUIT\r\n");
    // A second Disconnect on the closed client does nothing either.
    EXPECT_NO_THROW(c.smtp.Disconnect());
}

TEST(SmtpSession, VerifyAndExpandList)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"},
                                          {"\r\n", "250 ann@example.org\r\n"},
                                          {"\r\n", "251 forwarded\r\n"},
                                          {"\r\n", "252 cannot verify\r\n"},
                                          {"\r\n", "250-a@x\r\n250-b@x\r\n250 c@x\r\n"},
                                          {"\r\n", "550 no list\r\n"},
                                          {"QUIT\r\n", "221 bye\r\n"}})});
    Client c(srv.port());
    std::vector<std::string> returned;
    c.smtp.OnMailListReturn = [&](const std::string& a) { returned.push_back(a); };
    c.smtp.Connect();
    EXPECT_TRUE(c.smtp.Verify("ann"));
    EXPECT_TRUE(c.smtp.Verify("bob"));
    EXPECT_FALSE(c.smtp.Verify("cid"));
    EXPECT_TRUE(c.smtp.ExpandList("staff"));
    EXPECT_EQ(returned, (std::vector<std::string>{"250-a@x\r\n"}));
    EXPECT_FALSE(c.smtp.ExpandList("none"));
    c.smtp.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nVRFY ann\r\nVRFY bob\r\nVRFY cid\r\nEXPN staff\r\n"
                               "EXPN none\r\nQUIT\r\n");
}

TEST(SmtpSession, MissingAttachmentLeavesBeforeAnyCommand)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"}, {"QUIT\r\n", "221 bye\r\n"}})});
    Client c(srv.port());
    c.fill();
    c.smtp.PostMessage.Attachments.Add("/nonexistent/dir/file.pdf");
    std::vector<std::string> missing;
    c.smtp.OnAttachmentNotFound = [&](const std::string& f) { missing.push_back(f); };
    c.smtp.Connect();
    EXPECT_THROW(c.smtp.SendMail(), EFOpenError);
    EXPECT_EQ(missing, (std::vector<std::string>{"/nonexistent/dir/file.pdf"}));
    c.smtp.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nQUIT\r\n");
}

// ------------------------------------------------------- hostile servers

TEST(SmtpHostile, EachEndsWithinItsBoundWithAnError)
{
    std::string endless;
    for (int i = 0; i < 5000; ++i)
        endless += "220-and more\r\n";
    Script trickle{Send("220 hi\r\n"), ReadUntil("\r\n")};
    for (int i = 0; i < 300; ++i) { // 30 s of lines, each well within the time-out
        trickle.push_back(Send("250-still here\r\n"));
        trickle.push_back(Pause(100));
    }
    auto upToData = [](Script tail) {
        Script s = smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"},
                                       {"RSET\r\n", "250 ok\r\n"},
                                       {">\r\n", "250 ok\r\n"},
                                       {">\r\n", "250 ok\r\n"},
                                       {"DATA\r\n", "354 go\r\n"}},
                        false);
        s.insert(s.end(), tail.begin(), tail.end());
        return s;
    };
    struct Row {
        const char* name;
        Script script;
        bool sendMail;
        bool bigBody;
    };
    const Row rows[] = {
        {"silent", {Hold()}, false, false},
        {"endless greeting", {Send(endless), Hold()}, false, false},
        {"line without end", {Send(std::string(1 << 20, '2')), Hold()}, false, false},
        {"trickling HELO reply", trickle, false, false},
        {"close after DATA", upToData({Close()}), true, false},
        {"stops reading", upToData({Hold()}), true, true},
    };
    for (const Row& r : rows) {
        ScriptServer srv({r.script});
        Client c(srv.port());
        c.smtp.TimeOut = 700;
        c.smtp.MaxReplyLines = 1000;
        c.fill();
        c.smtp.PostMessage.ToAddress = lines({"one@example.org"});
        c.smtp.PostMessage.ToCarbonCopy.Clear();
        c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        if (r.bigBody) {
            TStringList body;
            const std::string line(998, 'x');
            for (int i = 0; i < 40000; ++i) // about 40 MB: more than any socket buffer holds
                body.Add(line);
            c.smtp.PostMessage.Body = body;
        }
        QElapsedTimer t;
        t.start();
        const std::string error = messageOf([&] {
            c.smtp.Connect();
            if (r.sendMail)
                c.smtp.SendMail();
        });
        EXPECT_NE(error, "<no exception>") << r.name;
        EXPECT_LT(t.elapsed(), 10000) << r.name;
        EXPECT_EQ(std::count(c.events.begin(), c.events.end(), "success"), 0) << r.name;
        c.smtp.AbortResume();
    }
}

// ------------------------------------------------ text beyond ASCII, dates

namespace {

// The physical lines of a header block or body (without their CR LF).
std::vector<std::string> wireLines(const std::string& text)
{
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        out.push_back(text.substr(at, end - at));
        if (end == std::string::npos)
            break;
        at = end + 2;
    }
    return out;
}

// The text of "=?utf-8?B?...?=" words folded by CR LF and a blank; each word
// must hold whole UTF-8 characters.
std::string decodeWords(std::string value)
{
    std::string out;
    size_t at = 0;
    while ((at = value.find("=?utf-8?B?", at)) != std::string::npos) {
        const size_t end = value.find("?=", at + 10);
        const std::string bytes = DecodeBuffer(value.substr(at + 10, end - at - 10) + "\r\n", uuMime);
        EXPECT_FALSE(bytes.empty());
        EXPECT_NE(static_cast<unsigned char>(bytes[0]) & 0xC0, 0x80) << "a word starts inside a character";
        out += bytes;
        at = end + 2;
    }
    return out;
}

} // namespace

TEST(SmtpAssembly, TextBeyondAsciiIsEncodedAndNoLineIsTooLong)
{
    Client c;
    c.fill();
    TPostMessage& m = c.smtp.PostMessage;
    m.FromName = "Zo\xC3\xAB \xC3\x9Cnal";
    m.Subject = "Gr\xC3\xBC\xC3\x9F" "e aus K\xC3\xB6ln";
    m.Body = lines({"caf\xC3\xA9 = 1 ", ".dot", "plain"});
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader[0], "From: =?utf-8?B?Wm/DqyDDnG5hbA==?= <ann@example.org>");
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Subject"), "=?utf-8?B?R3LDvMOfZSBhdXMgS8O2bG4=?=");
    EXPECT_EQ(c.smtp.FinalHeader[c.smtp.FinalHeader.Count() - 2], "Content-Type: text/plain; charset=utf-8");
    EXPECT_EQ(c.smtp.FinalHeader[c.smtp.FinalHeader.Count() - 1], "Content-Transfer-Encoding: quoted-printable");
    // "=" and the closing blank are quoted; a leading "." is still doubled.
    EXPECT_EQ(c.smtp.BodyStream().DataString(), "caf=C3=A9 =3D 1=20\r\n..dot\r\nplain\r\n");

    // Long texts: words of whole characters, every line short; a long
    // ASCII line makes the text quoted-printable with soft breaks.
    std::string longSubject;
    for (int i = 0; i < 300; ++i)
        longSubject += i % 3 ? "\xE6\x9D\xB1" : "a"; // a three-byte character among ASCII
    const std::string longLine(2500, 'x');
    m.Subject = longSubject;
    m.FromName = std::string(1200, 'n'); // ASCII, but too long for one line
    m.Body = lines({longLine.c_str()});
    m.ToAddress = lines({"dee@example.org"});
    c.smtp.AssembleMail();
    const std::string header = c.smtp.HeaderBlock();
    for (const std::string& l : wireLines(header))
        EXPECT_LE(l.size(), 78u) << l;
    EXPECT_EQ(decodeWords(c.smtp.FinalHeader.GetValue("Subject")), longSubject);
    EXPECT_EQ(decodeWords(c.smtp.FinalHeader[0]), std::string(1200, 'n'));
    const std::string body = c.smtp.BodyStream().DataString();
    std::string unfolded;
    for (const std::string& l : wireLines(body)) {
        EXPECT_LE(l.size(), 76u);
        unfolded += l.back() == '=' ? l.substr(0, l.size() - 1) : l;
    }
    EXPECT_EQ(unfolded, longLine);

    // A character set of the caller's is kept; with attachments the text
    // part carries the labels.
    testutil::TempDir dir;
    testutil::writeFile(dir.file("r\xC3\xA9sum\xC3\xA9.txt"), "abc");
    c.smtp.Charset = "iso-8859-1";
    m.Subject = "Caf\xE9";
    m.FromName = "Ann";
    m.Body = lines({"Caf\xE9"});
    m.Attachments = lines({});
    m.Attachments.Add(dir.file("r\xC3\xA9sum\xC3\xA9.txt"));
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Subject"), "=?iso-8859-1?B?Q2Fm6Q==?=");
    EXPECT_EQ(c.smtp.BodyStream().DataString(),
              "--" + kBoundary + "\r\nContent-Type: text/plain; charset=iso-8859-1\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n\r\nCaf=E9\r\n"
              "--" + kBoundary + "\r\nContent-Type: application/octet-stream; name*=utf-8''r%C3%A9sum%C3%A9.txt\r\n"
              "Content-Transfer-Encoding: base64\r\n"
              "Content-Disposition: attachment; filename*=utf-8''r%C3%A9sum%C3%A9.txt\r\n\r\nYWJj\r\n"
              "--" + kBoundary + "--\r\n");

    // A NUL byte in the text is refused, not cut.
    m.Attachments.Clear();
    m.Body = lines({"before"});
    m.Body.Add(std::string("cut\0here", 8));
    EXPECT_EQ(messageOf([&] { c.smtp.AssembleMail(); }), "The message text holds a NUL byte");
}

TEST(SmtpAssembly, DateAndMessageId)
{
    const std::pair<QDateTime, const char*> dates[] = {
        {QDateTime(QDate(2026, 12, 8), QTime(17, 5, 9), Qt::OffsetFromUTC, -19800), "Tue, 08 Dec 2026 17:05:09 -0530"},
        {QDateTime(QDate(2027, 1, 3), QTime(0, 0, 0), Qt::UTC), "Sun, 03 Jan 2027 00:00:00 +0000"},
        {QDateTime(QDate(2024, 2, 29), QTime(23, 59, 59), Qt::OffsetFromUTC, 3600), "Thu, 29 Feb 2024 23:59:59 +0100"},
        {QDateTime(QDate(2025, 7, 12), QTime(9, 30, 0), Qt::OffsetFromUTC, 45900), "Sat, 12 Jul 2025 09:30:00 +1245"},
    };
    for (const auto& [when, text] : dates)
        EXPECT_EQ(SmtpDate(when), text);

    // The Message-ID's domain: the one set, else the sender's, else the
    // HELO name; the random part is new for every message.
    Client c;
    c.fill();
    int next = 0;
    c.smtp.Random = [&](int range) { return next++ % range; };
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Message-ID"), "<20261208223509.0123456789abcdef@example.org>");
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Message-ID"), "<20261208223509.ghijklmnopqrstuv@example.org>");
    c.smtp.MessageIdDomain = "ids.example.net";
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Message-ID"), "<20261208223509.wxyz0123456789ab@ids.example.net>");
    c.smtp.MessageIdDomain.clear();
    c.smtp.PostMessage.FromAddress = "nobody";
    c.smtp.AssembleMail();
    EXPECT_EQ(c.smtp.FinalHeader.GetValue("Message-ID"), "<20261208223509.cdefghijklmnopqr@client.example>");
}

// ------------------------------------------------------------ attachments

TEST(SmtpAssembly, AttachmentsStreamFromTheFileInBlocks)
{
    // Sizes around the 45-byte lines and the 65520-byte blocks: the stream
    // gives what the encoder gives for the whole file, of the size it told.
    testutil::TempDir dir;
    for (UUMethods method : {uuMime, uuCode}) {
        for (int64_t size : {0, 1, 14, 44, 45, 46, 65520, 65521, 65520 * 2 + 14}) {
            std::string data(static_cast<size_t>(size), '\0');
            for (int64_t i = 0; i < size; ++i)
                data[static_cast<size_t>(i)] = static_cast<char>((i * 131 + i / 7) & 255);
            testutil::writeFile(dir.file("f.bin"), data);
            Client c;
            c.fill();
            c.smtp.EncodeType = method;
            c.smtp.PostMessage.Attachments = lines({});
            c.smtp.PostMessage.Attachments.Add(dir.file("f.bin"));
            c.smtp.AssembleMail();
            const std::string body = c.smtp.BodyStream().DataString();
            EXPECT_EQ(static_cast<int64_t>(body.size()), c.smtp.BodyStream().GetSize()) << size;
            std::string encoded = EncodeBuffer(data, method);
            std::string stuffed;
            for (const std::string& l : wireLines(encoded))
                stuffed += (l.rfind('.', 0) == 0 ? "." : "") + l + "\r\n";
            EXPECT_NE(body.find("\r\n\r\n" + (method == uuCode ? "begin 644 f.bin\r\n" + stuffed + "end\r\n" : stuffed) +
                                "--" + kBoundary + "--\r\n"),
                      std::string::npos)
                << size << " " << method;
        }
    }

    // A file of 300 MB (sparse) is read in blocks as the body is read: the
    // process does not grow by the file's size.
    const std::string big = dir.file("big.bin");
    {
        std::ofstream f(big, std::ios::binary);
        f.seekp(300LL * 1024 * 1024 - 1);
        f.put('z');
    }
    auto rssKb = [] {
        std::ifstream statm("/proc/self/statm");
        long pages = 0, resident = 0;
        statm >> pages >> resident;
        return resident * (sysconf(_SC_PAGESIZE) / 1024);
    };
    Client c;
    c.fill();
    c.smtp.PostMessage.Attachments.Add(big);
    [[maybe_unused]] const long before = rssKb();
    c.smtp.AssembleMail();
    TMailBodyStream& body = c.smtp.BodyStream();
    EXPECT_GT(body.GetSize(), 300LL * 1024 * 1024 * 4 / 3);
    std::string chunk(65536, '\0');
    int64_t total = 0;
    std::string tail;
    for (int64_t n; (n = body.Read(chunk.data(), 65536)) > 0;) {
        total += n;
        tail = (tail + chunk.substr(0, static_cast<size_t>(n))).substr(std::max<int64_t>(0, tail.size() + n - 64));
    }
    EXPECT_EQ(total, body.GetSize());
    const std::string end = "AAB6\r\n--" + kBoundary + "--\r\n"; // the file's last byte is "z"
    EXPECT_EQ(tail.substr(tail.size() - end.size()), end);
    EXPECT_LE(body.LargestFileBlock(), 65520u);
#if !defined(__SANITIZE_ADDRESS__)
    // (AddressSanitizer keeps freed blocks in quarantine, so the resident
    // size says nothing there; the largest block read still does.)
    EXPECT_LT(rssKb() - before, 32 * 1024);
#endif

    // A file that shrinks after assembly fails the send instead of cutting
    // the message short.
    testutil::writeFile(dir.file("shrinks.bin"), std::string(100000, 'a'));
    c.smtp.PostMessage.Attachments = lines({});
    c.smtp.PostMessage.Attachments.Add(dir.file("shrinks.bin"));
    c.smtp.AssembleMail();
    ASSERT_EQ(::truncate(dir.file("shrinks.bin").c_str(), 1000), 0);
    EXPECT_THROW(c.smtp.BodyStream().DataString(), EStreamError);
}

TEST(SmtpAssembly, OnlyRegularFilesAreAttached)
{
    testutil::TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& path : {std::string("/dev/zero"), fifo, dir.path(), std::string("/nonexistent/x")}) {
        Client c;
        c.fill();
        c.smtp.PostMessage.Attachments.Add(path);
        std::vector<std::string> missing;
        c.smtp.OnAttachmentNotFound = [&](const std::string& f) { missing.push_back(f); };
        QElapsedTimer t;
        t.start();
        const std::string error = messageOf([&] { c.smtp.AssembleMail(); });
        EXPECT_EQ(error.rfind("Cannot open file \"" + path + "\". ", 0), 0u) << error;
        EXPECT_LT(t.elapsed(), 2000) << path; // a FIFO without a writer does not block
        EXPECT_EQ(missing, std::vector<std::string>{path});
    }
}

// ------------------------------------------------------- whole replies

TEST(SmtpSession, MultiLineRepliesAreReadWholeAfterEveryCommand)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"},
                                          {"RSET\r\n", "250-flushed\r\n250 ok\r\n"},
                                          {">\r\n", "250-sender\r\n250 ok\r\n"},
                                          {">\r\n", "550-5.1.1 The account you tried to reach does not exist.\r\n"
                                                    "550-5.1.1 Please check the address.\r\n"
                                                    "550 5.1.1 https://help.example/unknown\r\n"},
                                          {">\r\n", "250-recipient\r\n250 ok\r\n"},
                                          {"DATA\r\n", "354-send\r\n354 it\r\n"},
                                          {"\r\n.\r\n", "554-5.7.1 Message refused:\r\n554 5.7.1 policy\r\n"},
                                          {"QUIT\r\n", "221 bye\r\n"}})});
    Client c(srv.port());
    c.fill();
    c.smtp.PostMessage.ToAddress = lines({"bad@example.org", "good@example.org"});
    c.smtp.PostMessage.ToCarbonCopy.Clear();
    c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
    c.smtp.Connect();
    EXPECT_EQ(messageOf([&] { c.smtp.SendMail(); }), "554-5.7.1 Message refused:\r\n554 5.7.1 policy\r\n");
    // Only the unknown recipient is blamed, with the whole reply.
    EXPECT_EQ(c.events, (std::vector<std::string>{"connect", "start", "notfound bad@example.org", "failure"}));
    ASSERT_EQ(c.smtp.Refused.size(), 1u);
    EXPECT_EQ(SmtpReplyLine(c.smtp.Refused[0].Reply), "550-5.1.1 The account you tried to reach does not exist. "
                                                      "550-5.1.1 Please check the address. "
                                                      "550 5.1.1 https://help.example/unknown");
    EXPECT_NO_THROW(c.smtp.Disconnect()); // QUIT reads its own reply
    ASSERT_TRUE(srv.waitDone(5000));
    const std::string got = srv.received(0);
    EXPECT_EQ(got.substr(0, got.find("DATA\r\n") + 6),
              "HELO client.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\nRCPT TO:<bad@example.org>\r\n"
              "RCPT TO:<good@example.org>\r\nDATA\r\n");
    EXPECT_EQ(got.substr(got.size() - 14), "..x\r\n.\r\nQUIT\r\n");
}

TEST(SmtpSession, OnlyExpectedCodesLetTheDialogueGoOn)
{
    // Rows: the step answered otherwise (index into acceptAll(1)), the reply,
    // and whether the message is still accepted.
    struct Row {
        size_t step;
        const char* reply;
        const char* error; // "" when the message goes
    };
    const Row rows[] = {
        {5, "250 queued\r\n", ""},
        {5, "251 queued elsewhere\r\n", ""},
        {5, "354 what?\r\n", "354 what?\r\n"},
        {5, "queued\r\n", "queued\r\n"},          // no code at all
        {5, "199 almost\r\n", "199 almost\r\n"},
        {4, "250 data ok\r\n", "250 data ok\r\n"}, // data may follow only a 3xx
        {1, "ok\r\n", "ok\r\n"},
        {2, "354 sender?\r\n", "354 sender?\r\n"},
    };
    for (const Row& r : rows) {
        auto x = acceptAll(1);
        x[r.step].second = r.reply;
        x.resize(std::string(r.error).empty() ? x.size() : r.step + 1);
        ScriptServer srv({smtp("220 hi\r\n", x, false)});
        Client c(srv.port());
        c.fill();
        c.smtp.PostMessage.ToAddress = lines({"one@example.org"});
        c.smtp.PostMessage.ToCarbonCopy.Clear();
        c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
        c.smtp.Connect();
        const std::string error = messageOf([&] { c.smtp.SendMail(); });
        EXPECT_EQ(error, *r.error ? r.error : "<no exception>") << r.reply;
        EXPECT_EQ(c.events.back(), *r.error ? (r.step == 5 ? "failure" : "start") : "success") << r.reply;
        c.smtp.AbortResume();
    }
}

TEST(SmtpSession, EveryRecipientRefusedSendsNoData)
{
    ScriptServer srv({smtp("220 hi\r\n", {{"\r\n", "250 hello\r\n"},
                                          {"RSET\r\n", "250 ok\r\n"},
                                          {">\r\n", "250 ok\r\n"},
                                          {">\r\n", "550 no such user\r\n"},
                                          {">\r\n", "553-not\r\n553 here\r\n"},
                                          {"QUIT\r\n", "221 bye\r\n"}})});
    Client c(srv.port());
    c.fill();
    c.smtp.PostMessage.ToAddress = lines({"a@example.org", "b@example.org"});
    c.smtp.PostMessage.ToCarbonCopy.Clear();
    c.smtp.PostMessage.ToBlindCarbonCopy.Clear();
    c.smtp.Connect();
    EXPECT_THROW(c.smtp.SendMail(), ESmtpNoRecipient);
    EXPECT_EQ(c.smtp.Refused.size(), 2u);
    EXPECT_FALSE(c.smtp.Busy());
    c.smtp.Disconnect();
    ASSERT_TRUE(srv.waitDone(5000));
    EXPECT_EQ(srv.received(0), "HELO client.example\r\nRSET\r\nMAIL FROM:<ann@example.org>\r\n"
                               "RCPT TO:<a@example.org>\r\nRCPT TO:<b@example.org>\r\nQUIT\r\n");
}
