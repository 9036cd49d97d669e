// The SMTP client: message assembly (exact header and body bytes) and the
// dialogue against scripted servers (exact bytes on the wire), including
// servers that refuse, stall, close or never stop talking.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include <chrono>
#include <thread>

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
    EXPECT_EQ(c.smtp.FinalHeader.Text(), "From: <ann@example.org>\r\n"
                                         "To: Cid <cid@example.org>,dee@example.org\r\n"
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

TEST(SmtpAssembly, LongRecipientListsAreFoldedAtCommas)
{
    Client c;
    c.fill();
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
        EXPECT_GT(physical.Count(), 50);
        std::string unfolded;
        for (const std::string& l : physical.Lines()) {
            EXPECT_LE(l.size(), 78u) << l;
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
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the server's close arrives unnoticed
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
