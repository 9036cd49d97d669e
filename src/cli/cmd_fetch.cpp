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

int runFetch(const CliArgs& args)
{
    TNMHTTP http;
    cliSetUpHttp(args, http, "fetch");
    const std::string url = args.operand();
    CliOutput out;
    StdoutBody body(http, args.has("-i"), out);
    http.BodyStream = &body;
    try {
        http.Get(url);
    } catch (const std::exception& e) {
        if (!out.flush())
            throw CliFailure(cliWriteErrorMessage());
        throw CliFailure(cliFetchFailure(http, url, e));
    }
    body.Start();
    out.finish();
    return 0;
}

const CliCommand command({.name = "fetch",
                          .operands = "URL",
                          .minOperands = 1,
                          .maxOperands = 1,
                          .summary = "fetch a URL over HTTP/1.0 and write the body (with -i the header first)",
                          .options = CliOptions{{"-i", nullptr, "write the reply header before the body"}} +
                                     cliHttpOptions(),
                          .notes = "Writes the body exactly as received, as it arrives (of any size), and exits 0 "
                                   "whatever the HTTP status; a network failure is written to standard error with "
                                   "exit status 1 (the part of the body already received has been written).",
                          .eventLoop = true},
                         runFetch);

} // namespace
