// corvina-cli mail: one message through the program's own SMTP client, the
// body lines from standard input. --dry-run prints the message as it would
// follow DATA instead of sending it.
#include "Cli.h"
#include "MailSession.h"
#include "Nmsmtp.h"

#include <cstdio>

namespace {

const char* const kUsage =
    "mail --server HOST[:PORT] --helo NAME --from ADDR [--from-name N] [--subject S] [--reply-to A] "
    "[--to A]... [--cc A]... [--bcc A]... [--attach FILE]... [--uucode] [--html] [--timeout MS] [--dry-run] [-v]";

int usage(const std::string& problem = {})
{
    if (!problem.empty())
        cliError("mail: " + problem);
    cliError(std::string("usage: corvina-cli ") + kUsage);
    return 2;
}

struct MailArgs {
    std::string server, helo, from, fromName, subject, replyTo, timeout;
    TStringList to, cc, bcc, attach;
    bool uucode = false, html = false, dryRun = false, help = false, verbose = false;
};

// Options take their value as the next argument or after "="; --to, --cc,
// --bcc and --attach may be given many times.
bool parse(const std::vector<std::string>& args, MailArgs& a, std::string& problem)
{
    const std::pair<const char*, std::string*> single[] = {
        {"--server", &a.server},     {"--helo", &a.helo},       {"--from", &a.from},
        {"--from-name", &a.fromName}, {"--subject", &a.subject}, {"--reply-to", &a.replyTo},
        {"--timeout", &a.timeout}};
    const std::pair<const char*, TStringList*> lists[] = {
        {"--to", &a.to}, {"--cc", &a.cc}, {"--bcc", &a.bcc}, {"--attach", &a.attach}};
    const std::pair<const char*, bool*> flags[] = {
        {"--uucode", &a.uucode}, {"--html", &a.html}, {"--dry-run", &a.dryRun}, {"--help", &a.help}, {"-h", &a.help},
        {"-v", &a.verbose}};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        bool known = false;
        for (const auto& [name, target] : flags) {
            if (arg == name) {
                *target = true;
                known = true;
            }
        }
        if (known)
            continue;
        const size_t eq = arg.find('=');
        const std::string name = arg.substr(0, eq);
        std::string value;
        auto takeValue = [&]() {
            if (eq != std::string::npos) {
                value = arg.substr(eq + 1);
                return true;
            }
            if (i + 1 >= args.size()) {
                problem = name + " needs a value";
                return false;
            }
            value = args[++i];
            return true;
        };
        for (const auto& [option, target] : single) {
            if (name == option) {
                if (!takeValue())
                    return false;
                *target = value;
                known = true;
            }
        }
        for (const auto& [option, target] : lists) {
            if (name == option) {
                if (!takeValue())
                    return false;
                target->Add(value);
                known = true;
            }
        }
        if (!known) {
            problem = "unknown argument '" + arg + "'";
            return false;
        }
    }
    return true;
}

int runMail(const std::vector<std::string>& args)
{
    MailArgs a;
    std::string problem;
    if (!parse(args, a, problem))
        return usage(problem);
    if (a.help) {
        std::printf("usage: corvina-cli %s\n"
                    "Sends one message, its body read from standard input; exits 0 when the server\n"
                    "accepted it, 1 with the server's reply on standard error when it did not.\n"
                    "  --uucode        attachments uuencoded instead of Base64\n"
                    "  --html          the text is HTML (without attachments)\n"
                    "  --timeout MS    limit of each wait in milliseconds (default 30000, 0 = none)\n"
                    "  --dry-run       print the message as it would follow DATA; send nothing\n"
                    "  -v              print each refused recipient and the server's reason\n",
                    kUsage);
        return 0;
    }
    if (a.from.empty())
        return usage("--from is required");
    if (!a.dryRun && (a.server.empty() || a.helo.empty()))
        return usage("--server and --helo are required");
    int timeout = 30000;
    if (!a.timeout.empty() && (!TryStrToInt(a.timeout, timeout) || timeout < 0))
        return usage("--timeout needs a number of milliseconds (0 = none)");

    std::string body, error;
    if (!cliReadInput("", body, error)) {
        cliError(error);
        return 1;
    }
    // The body's lines would end at a NUL byte: the message would go out
    // cut short.
    if (body.find('\0') != std::string::npos) {
        cliError("mail: the message text holds a NUL byte; nothing was sent");
        return 1;
    }
    TNMSMTP smtp;
    smtp.TimeOut = timeout;
    smtp.UserID = a.helo;
    SplitServer(a.server, smtp.Host, smtp.Port);
    smtp.EncodeType = a.uucode ? uuCode : uuMime;
    smtp.SubType = a.html ? mtHtml : mtPlain;
    TPostMessage& m = smtp.PostMessage;
    m.FromAddress = a.from;
    m.FromName = a.fromName;
    m.Subject = a.subject;
    m.ReplyTo = a.replyTo;
    m.LocalProgram = "Corvina";
    m.ToAddress = a.to;
    m.ToCarbonCopy = a.cc;
    m.ToBlindCarbonCopy = a.bcc;
    m.Attachments = a.attach;
    m.Body.SetText(body);
    smtp.OnRecipientNotFound = [&smtp, &a](const std::string& entry) {
        if (a.verbose)
            cliError("mail: recipient refused: " + entry + ": " + SmtpReplyLine(smtp.LastReply));
    };
    const std::string server = smtp.Host + ":" + std::to_string(smtp.Port);
    try {
        if (a.dryRun) {
            smtp.AssembleMail();
            // The body streams from its files in blocks.
            bool written = cliWrite(smtp.HeaderBlock());
            TMailBodyStream& stream = smtp.BodyStream();
            std::string block(1 << 16, '\0');
            for (int64_t n; written && (n = stream.Read(block.data(), static_cast<int64_t>(block.size()))) > 0;)
                written = cliWrite(block.substr(0, static_cast<size_t>(n)));
            if (!written) {
                cliError("standard output: write error");
                return 1;
            }
            return 0;
        }
        smtp.Connect();
        smtp.SendMail();
        try {
            smtp.Disconnect();
        } catch (const std::exception&) {
            // The message is accepted; a refused QUIT changes nothing.
        }
    } catch (const std::exception& e) {
        cliError("mail: " + (a.dryRun ? std::string() : server + ": ") + SmtpReplyLine(e.what()));
        if (smtp.Connected()) {
            try {
                smtp.Disconnect();
            } catch (const std::exception&) {
                // Closing after a refusal: the exit status says it all.
            }
        }
        return 1;
    }
    if (!smtp.Refused.empty()) {
        cliError("mail: " + server + " refused " + std::to_string(smtp.Refused.size()) +
                 (smtp.Refused.size() == 1 ? " recipient" : " recipients") +
                 "; the message went to the others" + (a.verbose ? "" : " (-v names them)"));
        return 1;
    }
    return 0;
}

const CliCommand command("mail", kUsage, "send one message over SMTP, its body from standard input", runMail);

} // namespace
