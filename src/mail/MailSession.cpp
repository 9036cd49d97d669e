#include "MailSession.h"

#include <QLoggingCategory>

#include <cstring>

Q_LOGGING_CATEGORY(lcMail, "corvina.mail", QtWarningMsg)

namespace {

const char* const kProgram = "Corvina";
const char* const kNoSettings = "Type UserID and Email Address on Options!";
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
    try {
        const TMailSettings settings = view_.Settings();
        SplitServer(settings.Server, smtp_.Host, smtp_.Port);
        smtp_.UserID = settings.UserID;
        // With no server there is nothing to connect to: the connect would
        // fail silently and the user would never learn what is missing.
        if (smtp_.Host.empty()) {
            view_.ShowMessage(kNoSettings, "ERROR");
            return;
        }
        smtp_.Connect();
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
        m.Date = view_.Today();
        m.ReplyTo = settings.FromAddress;
        int count = 0;
        if (settings.HideRecipients)
            SendEach(count);
        else
            SendAll(count);
        if (count == 0) {
            view_.ShowMessage(kNoAddress, "Send Email ERROR");
            return;
        }
        if (smtp_.Connected())
            smtp_.Disconnect();
        view_.ShowMessage("Operation Completed!", "Send Email");
    } catch (const std::exception& e) {
        qCDebug(lcMail) << "mail run ended:" << e.what();
        throw;
    }
}

void TMailSession::SendEach(int& count)
{
    TPostMessage& m = smtp_.PostMessage;
    for (int i = 0; !stop_ && i < view_.EntryCount(); ++i) {
        if (!view_.EntryTicked(i))
            continue;
        m.LocalProgram = kProgram;
        m.ToAddress.Clear();
        m.ToAddress.Add(view_.EntryText(i));
        m.Body.SetText(view_.MessageText());
        ++count;
        smtp_.SendMail();
    }
}

void TMailSession::SendAll(int& count)
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
    if (count > 0)
        smtp_.SendMail();
}

namespace {

// Percent-encodes every byte but letters, digits and the given others.
std::string percentEncode(const std::string& text, const char* keep)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           (c != 0 && std::strchr(keep, c) != nullptr);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

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
        link += percentEncode(a, "-._~!$'()*+,=:@") + ";";
    link += "?Subject=" + percentEncode(subject, "-._~");
    link += "&Body=" + percentEncode(crlfLines(body), "-._~");
    return link;
}
