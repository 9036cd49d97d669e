// corvina-cli mail: one message through the program's own SMTP client, the
// body lines from standard input. --dry-run prints the message as it would
// follow DATA instead of sending it.
#include "Cli.h"
#include "MailSession.h"
#include "Nmsmtp.h"

#include <cstdio>

namespace {

// A reply line as read ends in CR LF; standard error gets it without.
std::string withoutLineEnd(std::string text)
{
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    return text;
}

int runMail(const CliArgs& args)
{
    const std::string from = args.value("--from"), server = args.value("--server"), helo = args.value("--helo");
    const bool dryRun = args.has("--dry-run");
    if (from.empty())
        throw CliUsageError("--from is required");
    if (!dryRun && (server.empty() || helo.empty()))
        throw CliUsageError("--server and --helo are required");
    const int timeout = args.number("--timeout", 30000, 0, "a number of milliseconds (0 = none)");

    std::string body, error;
    if (!cliReadInput("", body, error))
        throw CliFailure(error);
    TNMSMTP smtp;
    smtp.TimeOut = timeout;
    smtp.UserID = helo;
    SplitServer(server, smtp.Host, smtp.Port);
    smtp.EncodeType = args.has("--uucode") ? uuCode : uuMime;
    smtp.SubType = args.has("--html") ? mtHtml : mtPlain;
    TPostMessage& m = smtp.PostMessage;
    m.FromAddress = from;
    m.FromName = args.value("--from-name");
    m.Subject = args.value("--subject");
    m.ReplyTo = args.value("--reply-to");
    m.LocalProgram = "Corvina";
    auto list = [&args](const char* name) {
        TStringList l;
        for (const std::string& v : args.values(name))
            l.Add(v);
        return l;
    };
    m.ToAddress = list("--to");
    m.ToCarbonCopy = list("--cc");
    m.ToBlindCarbonCopy = list("--bcc");
    m.Attachments = list("--attach");
    m.Body.SetText(body);
    smtp.OnRecipientNotFound = [&smtp, &server](const std::string& entry) {
        cliError(server + ": recipient refused: " + entry + ": " + withoutLineEnd(smtp.ReplyText));
    };
    try {
        if (dryRun) {
            smtp.AssembleMail();
            CliOutput out;
            out.add(smtp.HeaderBlock());
            out.add(smtp.BodyStream().DataString());
            out.finish();
            return 0;
        }
        smtp.Connect();
        smtp.SendMail();
        try {
            smtp.Disconnect();
        } catch (const std::exception&) {
            // The message is accepted; a refused QUIT changes nothing.
        }
    } catch (const CliFailure&) {
        throw;
    } catch (const std::exception& e) {
        // A dry run fails only on its own files (an attachment), which the
        // message names.
        throw CliFailure((dryRun ? std::string() : server + ": ") + withoutLineEnd(e.what()));
    }
    return 0;
}

const CliCommand command(
    {.name = "mail",
     .summary = "send one message over SMTP, its body from standard input",
     .options = {{"--server", "HOST[:PORT]", "the SMTP server (port 25 unless given)", CliOption::Required},
                 {"--helo", "NAME", "the name this computer gives in HELO", CliOption::Required},
                 {"--from", "ADDR", "the sender's address", CliOption::Required},
                 {"--from-name", "N", "the sender's name"},
                 {"--subject", "S", "the subject"},
                 {"--reply-to", "A", "the Reply-To address"},
                 {"--to", "A", "a recipient", CliOption::Repeat},
                 {"--cc", "A", "a recipient in copy", CliOption::Repeat},
                 {"--bcc", "A", "a hidden recipient", CliOption::Repeat},
                 {"--attach", "FILE", "attach this file", CliOption::Repeat},
                 {"--uucode", nullptr, "attachments uuencoded instead of Base64"},
                 {"--html", nullptr, "the text is HTML (without attachments)"},
                 {"--timeout", "MS", "limit of each wait in milliseconds (default 30000, 0 = none)"},
                 {"--dry-run", nullptr, "print the message as it would follow DATA; send nothing "
                                        "(--server and --helo are not needed then)"}},
     .notes = "Sends one message, its body read from standard input; exits 0 when the server accepted it, 1 with "
              "the server's reply on standard error when it did not.",
     .eventLoop = true},
    runMail);

} // namespace
