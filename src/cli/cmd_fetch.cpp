// corvina-cli fetch: one Get with a new HTTP client; the reply header (with
// -i) and the body go to standard output exactly as received.
#include "Cli.h"
#include "HttpCli.h"
#include "Nmhttp.h"

namespace {

// The body goes to standard output as it arrives (the header first, with
// -i), so a file of any size is fetched in flat memory. The body of a
// redirect reply, which the client follows, is not written.
class StdoutBody : public TStream {
public:
    StdoutBody(const TNMHTTP& http, bool withHeader, CliOutput& out) : http_(http), withHeader_(withHeader), out_(out) {}

    int64_t Read(void*, int64_t) override { return 0; }
    int64_t Seek(int64_t, uint16_t) override { return written_; }
    int64_t GetSize() override { return written_; }
    int64_t Write(const void* buffer, int64_t count) override
    {
        if (http_.ReplyCode >= 299 && http_.ReplyCode <= 399)
            return count;
        Start();
        if (!out_.add(static_cast<const char*>(buffer), static_cast<size_t>(count)))
            return 0; // a write error ends the transfer
        written_ += count;
        return count;
    }
    // Writes the header (with -i) unless the body has done so already.
    void Start()
    {
        if (!started_ && withHeader_)
            out_.add(http_.Header);
        started_ = true;
    }

private:
    const TNMHTTP& http_;
    bool withHeader_;
    CliOutput& out_;
    bool started_ = false;
    int64_t written_ = 0;
};

const char* const kUsage = "fetch [-i] [--timeout MS] [--proxy HOST:PORT] [--cacert FILE] URL";

int usage()
{
    cliError(std::string("usage: corvina-cli ") + kUsage);
    return 2;
}

int runFetch(const std::vector<std::string>& args)
{
    bool withHeader = false, help = false;
    std::string timeoutText, proxy, caFile;
    std::vector<std::string> positional;
    if (!CliArgs("fetch")
             .flag("-i", withHeader)
             .flag("-h", help)
             .flag("--help", help)
             .option("--timeout", timeoutText)
             .option("--proxy", proxy)
             .option("--cacert", caFile)
             .parse(args, positional, 1))
        return usage();
    if (help) {
        std::printf("usage: corvina-cli %s\n"
                    "  -i              write the reply header before the body\n"
                    "  --timeout MS    limit of each wait in milliseconds (default 10000, 0 = none)\n"
                    "  --proxy H:P     send the request through this HTTP proxy\n"
                    "                  (default: the http_proxy environment variable)\n"
                    "  --cacert FILE   trust the CA certificates in FILE (PEM) too\n"
                    "Writes the body exactly as received, as it arrives (of any size), and exits 0\n"
                    "whatever the HTTP status; a network failure is written to standard error with\n"
                    "exit status 1 (the part of the body already received has been written).\n",
                    kUsage);
        return 0;
    }
    if (positional.empty())
        return usage();
    TNMHTTP http;
    if (!cliSetUpHttp("fetch", http, timeoutText, proxy, caFile))
        return 2;
    CliOutput out;
    StdoutBody body(http, withHeader, out);
    http.BodyStream = &body;
    try {
        http.Get(positional[0]);
    } catch (const std::exception& e) {
        out.flush();
        if (out.failed())
            cliError("standard output: write error");
        else
            std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    body.Start();
    if (!out.flush()) {
        cliError("standard output: write error");
        return 1;
    }
    return 0;
}

const CliCommand command("fetch", kUsage, "fetch a URL over HTTP/1.0 and write the body (with -i the header first)",
                         runFetch);

} // namespace
