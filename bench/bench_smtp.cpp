// SMTP client measurements against a local server that accepts everything
// (bench/smtp_send.sh starts one and passes it in CORVINA_SMTP_SERVER):
//  - 1,000 messages, one per address, over one connection, as the send-mail
//    dialog's one-message-per-address run sends them;
//  - one message with a 20 MB attachment: the memory it takes beyond what
//    the process held before, and the largest stretch of the body sent
//    between two progress reports.
#include "MailSession.h"
#include "Nmsmtp.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

bool serverFromEnvironment(TNMSMTP& smtp, benchmark::State& state)
{
    const char* server = std::getenv("CORVINA_SMTP_SERVER");
    if (!server || !*server) {
        state.SkipWithError("set CORVINA_SMTP_SERVER=HOST:PORT (bench/smtp_send.sh does)");
        return false;
    }
    SplitServer(server, smtp.Host, smtp.Port);
    smtp.UserID = "bench.example";
    smtp.TimeOut = 30000;
    smtp.ClearParams = false;
    return true;
}

// Resident memory of this process in kilobytes (current, or the peak).
long memoryKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::string(field).size());
    return 0;
}

void BM_OnePerAddress1000(benchmark::State& state)
{
    TNMSMTP smtp;
    if (!serverFromEnvironment(smtp, state))
        return;
    TPostMessage& m = smtp.PostMessage;
    m.FromAddress = "ann@example.org";
    m.FromName = "Ann Bee";
    m.Subject = "News from the bench";
    m.ReplyTo = m.FromAddress;
    m.Date = "12/8/26";
    m.LocalProgram = "Corvina";
    m.Body.SetText("Dear reader,\nthis is a short message of a few lines,\nas a mailing usually is.\n\nRegards\n");
    for (auto _ : state) {
        smtp.Connect();
        for (int i = 0; i < 1000; ++i) {
            m.ToAddress.Clear();
            m.ToAddress.Add("reader" + std::to_string(i) + "@example.org");
            smtp.SendMail();
        }
        smtp.Disconnect();
    }
    state.SetItemsProcessed(state.iterations() * 1000);
}
BENCHMARK(BM_OnePerAddress1000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Attachment20MB(benchmark::State& state)
{
    TNMSMTP smtp;
    if (!serverFromEnvironment(smtp, state))
        return;
    const std::string path = "/tmp/corvina-bench-attachment.bin";
    const int64_t size = 20 * 1024 * 1024;
    {
        std::string data(static_cast<size_t>(size), '\0');
        uint32_t x = 12345;
        for (auto& c : data) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        std::ofstream(path, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
    }
    TPostMessage& m = smtp.PostMessage;
    m.FromAddress = "ann@example.org";
    m.ToAddress.Add("reader@example.org");
    m.Body.SetText("The file is attached.");
    m.Attachments.Add(path);
    int64_t largestStep = 0, last = 0;
    int reports = 0;
    long peakRss = 0;
    smtp.OnPacketSent = [&](QObject*) {
        largestStep = std::max<int64_t>(largestStep, smtp.SentCount - last);
        last = smtp.SentCount;
        ++reports;
        peakRss = std::max(peakRss, memoryKb("VmRSS:"));
    };
    const long before = memoryKb("VmRSS:");
    for (auto _ : state) {
        last = 0;
        smtp.Connect();
        smtp.SendMail();
        smtp.Disconnect();
    }
    std::remove(path.c_str());
    state.counters["attachment_MB"] = static_cast<double>(size) / (1024 * 1024);
    state.counters["extra_memory_MB"] = static_cast<double>(peakRss - before) / 1024;
    state.counters["memory_x_attachment"] = static_cast<double>(peakRss - before) * 1024 / static_cast<double>(size);
    state.counters["largest_step_KB"] = static_cast<double>(largestStep) / 1024;
    state.counters["progress_reports"] = reports;
    state.SetBytesProcessed(state.iterations() * size);
}
BENCHMARK(BM_Attachment20MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
