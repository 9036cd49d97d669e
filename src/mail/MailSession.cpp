#include "MailSession.h"

#include "Nmurl.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcMail, "corvina.mail", QtWarningMsg)

namespace {

const char* const kProgram = "Corvina";
const char* const kNoSettings = "Type UserID and Email Address on Options!";
const char* const kNulText = "The message text holds a NUL byte: it cannot be sent.";
const char* const kNoAddress = "Must select addresses to send email on 'Search Results'";

struct TRunMark {
    bool& running;
    IMailView& view;
    TRunMark(bool& r, IMailView& v) : running(r), view(v)
    {
        running = true;
        view.SetRunning(true);
    }
    ~TRunMark()
    {
        running = false;
        view.SetRunning(false);
    }
};

} // namespace

void SplitServer(const std::string& server, std::string& host, int& port)
{
    host = server;
    port = 25;
    const size_t colon = server.rfind(':');
    if (colon == std::string::npos || colon + 1 == server.size() || server.size() - colon > 6)
        return;
    int value = 0;
    for (size_t i = colon + 1; i < server.size(); ++i) {
        if (server[i] < '0' || server[i] > '9')
            return;
        value = value * 10 + (server[i] - '0');
    }
    if (value < 1 || value > 65535)
        return;
    host = server.substr(0, colon);
    port = value;
}

void TMailSession::Send()
{
    if (running_)
        return;
    if (smtp_.Connected()) {
        smtp_.Disconnect();
        return;
    }
    TRunMark mark(running_, view_);
    // A Stop pressed during an earlier run belongs to that run.
    stop_ = false;
    const TMailSettings settings = view_.Settings();
    SplitServer(settings.Server, smtp_.Host, smtp_.Port);
    smtp_.UserID = settings.UserID;
    // With no server there is nothing to connect to: the connect would
    // fail silently and the user would never learn what is missing.
    if (smtp_.Host.empty()) {
        view_.ShowMessage(kNoSettings, "ERROR");
        return;
    }
    // The client's text lists end a text at a NUL byte: such a text would
    // go out cut short, so it does not go at all.
    if (view_.MessageText().find('\0') != std::string::npos) {
        view_.ShowMessage(kNulText, "Send Email ERROR");
        return;
    }
    try {
        smtp_.Connect();
    } catch (const std::exception& e) {
        qCWarning(lcMail) << "cannot connect to" << smtp_.Host.c_str() << smtp_.Port << e.what();
        view_.ShowMessage("Cannot connect to the mail server " + smtp_.Host + " on port " +
                              std::to_string(smtp_.Port) + ": " + SmtpReplyLine(e.what()),
                          "Send Email ERROR");
        return;
    }
    if (!smtp_.Connected())
        return;
    if (smtp_.UserID.empty()) {
        view_.ShowMessage(kNoSettings, "ERROR");
        return;
    }
    TPostMessage& m = smtp_.PostMessage;
    m.FromAddress = settings.FromAddress;
    m.FromName = settings.FromName;
    m.Subject = view_.Subject();
    // The client dates each message itself, with time and zone.
    m.Date.clear();
    m.ReplyTo = settings.FromAddress;
    int count = 0;
    TRunResult result;
    if (settings.HideRecipients)
        SendEach(count, result);
    else
        SendAll(count, result);
    if (count == 0) {
        view_.ShowMessage(kNoAddress, "Send Email ERROR");
        return;
    }
    if (smtp_.Connected()) {
        try {
            smtp_.Disconnect();
        } catch (const std::exception& e) {
            // The messages are sent or refused already; a refused QUIT
            // changes nothing.
            qCDebug(lcMail) << "QUIT:" << e.what();
        }
    }
    Report(result);
}

bool TMailSession::SendOne(TRunResult& result)
{
    try {
        smtp_.SendMail();
        ++result.Sent;
    } catch (const ESmtpNoRecipient&) {
        // Only this message is lost: the next address may well be good.
    } catch (const std::exception& e) {
        result.Error = SmtpReplyLine(e.what());
        qCWarning(lcMail) << "mail run ended:" << e.what();
    }
    for (const TNMSMTP::TRefusal& r : smtp_.Refused)
        result.Refused.push_back(r);
    return result.Error.empty();
}

void TMailSession::Report(const TRunResult& result)
{
    const bool stopped = stop_;
    if (!stopped && result.Error.empty() && result.Refused.empty() && result.Sent == result.Planned) {
        view_.ShowMessage("Operation Completed!", "Send Email");
        return;
    }
    std::string text = std::string(stopped ? "Stopped. " : "") + "Sent " + std::to_string(result.Sent) + " of " +
                       std::to_string(result.Planned) + (result.Planned == 1 ? " message." : " messages.");
    if (!result.Refused.empty()) {
        text += "\nRefused recipients:";
        for (const TNMSMTP::TRefusal& r : result.Refused)
            text += "\n" + r.Entry + ": " + SmtpReplyLine(r.Reply);
    }
    if (!result.Error.empty())
        text += "\nError from " + smtp_.Host + ":" + std::to_string(smtp_.Port) + ": " + result.Error;
    // A run the user stopped is no failure of its own.
    const bool failed = !result.Error.empty() || !result.Refused.empty() || (!stopped && result.Sent < result.Planned);
    view_.ShowMessage(text, failed ? "Send Email ERROR" : "Send Email");
}

void TMailSession::SendEach(int& count, TRunResult& result)
{
    TPostMessage& m = smtp_.PostMessage;
    for (int i = 0; i < view_.EntryCount(); ++i)
        result.Planned += view_.EntryTicked(i) ? 1 : 0;
    for (int i = 0; !stop_ && i < view_.EntryCount(); ++i) {
        if (!view_.EntryTicked(i))
            continue;
        m.LocalProgram = kProgram;
        m.ToAddress.Clear();
        m.ToAddress.Add(view_.EntryText(i));
        m.Body.SetText(view_.MessageText());
        ++count;
        if (!SendOne(result))
            return;
    }
}

void TMailSession::SendAll(int& count, TRunResult& result)
{
    TPostMessage& m = smtp_.PostMessage;
    m.ToAddress.Clear();
    for (int i = 0; i < view_.EntryCount(); ++i) {
        if (!view_.EntryTicked(i))
            continue;
        m.LocalProgram = kProgram;
        m.ToAddress.Add(view_.EntryText(i));
        m.Body.SetText(view_.MessageText());
        ++count;
    }
    if (count > 0) {
        result.Planned = 1;
        SendOne(result);
    }
}

namespace {

// Line breaks of any kind become CR LF, as mailto: bodies carry them.
std::string crlfLines(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (text[i] == '\n') {
            out += "\r\n";
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string BuildMailtoLink(const std::vector<std::string>& addresses, const std::string& subject,
                            const std::string& body)
{
    std::string link = "mailto:";
    for (const std::string& a : addresses)
        link += PercentEncode(a, "-._~!$'()*+,=:@") + ";";
    link += "?Subject=" + PercentEncode(subject, "-._~");
    link += "&Body=" + PercentEncode(crlfLines(body), "-._~");
    return link;
}
