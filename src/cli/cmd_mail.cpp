// corvina-cli mail: one message through the program's own SMTP client, the
// body lines from standard input. --dry-run prints the message as it would
// follow DATA instead of sending it.
#include "Cli.h"
#include "MailSession.h"
#include "Nmsmtp.h"

#include <cstdio>

namespace {

int runMail(const CliArgs& args)
{
    const std::string from = args.value("--from"), server = args.value("--server"), helo = args.value("--helo");
    const bool dryRun = args.has("--dry-run"), verbose = args.has("-v");
    if (from.empty())
        throw CliUsageError("--from is required");
    if (!dryRun && (server.empty() || helo.empty()))
        throw CliUsageError("--server and --helo are required");
    const int timeout = args.number("--timeout", 30000, 0, "a number of milliseconds (0 = none)");

    std::string body, error;
    if (!cliReadInput("", body, error))
        throw CliFailure(error);
    // The body's lines would end at a NUL byte: the message would go out
    // cut short.
    if (body.find('\0') != std::string::npos)
        throw CliFailure("mail: the message text holds a NUL byte; nothing was sent");
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
    // Messages name the server as host:port, the port filled in when not
    // given.
    const std::string where = smtp.Host + ":" + std::to_string(smtp.Port);
    smtp.OnRecipientNotFound = [&smtp, &where, verbose](const std::string& entry) {
        if (verbose)
            cliError(where + ": recipient refused: " + entry + ": " + SmtpReplyLine(smtp.LastReply));
    };
    try {
        if (dryRun) {
            smtp.AssembleMail();
            // The body streams from its files in blocks.
            CliOutput out;
            out.add(smtp.HeaderBlock());
            TMailBodyStream& stream = smtp.BodyStream();
            std::string block(kCliReadBlock, '\0');
            for (int64_t n; (n = stream.Read(block.data(), static_cast<int64_t>(block.size()))) > 0;)
                if (!out.add(block.data(), static_cast<size_t>(n)))
                    break;
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
        if (smtp.Connected()) {
            try {
                smtp.Disconnect();
            } catch (const std::exception&) {
                // Closing after a refusal: the exit status says it all.
            }
        }
        // A dry run fails only on its own files (an attachment), which the
        // message names; a server's reply of many lines is told on one.
        throw CliFailure((dryRun ? std::string() : where + ": ") + SmtpReplyLine(e.what()));
    }
    if (!smtp.Refused.empty())
        throw CliFailure(where + " refused " + std::to_string(smtp.Refused.size()) +
                         (smtp.Refused.size() == 1 ? " recipient" : " recipients") +
                         "; the message went to the others" + (verbose ? "" : " (-v names them)"));
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
                                        "(--server and --helo are not needed then)"},
                 {"-v", nullptr, "print each refused recipient and the server's reason"}},
     .notes = "Sends one message, its body read from standard input; exits 0 when the server accepted it, 1 with "
              "the server's reply on standard error when it did not, or when it refused a recipient.",
     .eventLoop = true},
    runMail);

} // namespace
