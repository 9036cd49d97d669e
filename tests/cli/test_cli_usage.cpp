// corvina-cli's command line: every command's help and usage come from its
// option table, the manual page names the same options, misuse exits 2 with
// the usage, failures exit 1 with a message naming what failed, and the
// meter ends its line.
#include "FakeSessionView.h"
#include "StreamScan.h"
#include "TestUtil.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <sstream>

#include <unistd.h>

using testutil::runProcess;

namespace {

testutil::ProcessResult cli(const std::vector<std::string>& args, const std::string& input = {})
{
    return runProcess(CORVINA_CLI_PATH, args, input);
}

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}

// The command names listed by corvina-cli --help.
std::vector<std::string> commandNames()
{
    std::vector<std::string> names;
    bool in = false;
    for (const std::string& line : lines(cli({"--help"}).out)) {
        if (line == "Commands:")
            in = true;
        else if (in && line.empty())
            break;
        else if (in && line.size() > 2 && line[2] != ' ')
            names.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return names;
}

// Option names in a text: "-x" or "--name" starting a word (a dash inside
// a word, as in "e-mail" or "N-1", is no option).
std::set<std::string> optionsIn(const std::string& text)
{
    std::set<std::string> found;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '-' || (i > 0 && (std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '-')))
            continue;
        size_t j = i + 1;
        if (j < text.size() && text[j] == '-')
            ++j;
        size_t k = j;
        while (k < text.size() && (std::isalnum(static_cast<unsigned char>(text[k])) || text[k] == '-'))
            ++k;
        if (k > j && std::isalnum(static_cast<unsigned char>(text[j])))
            found.insert(text.substr(i, k - i));
        i = k;
    }
    return found;
}

// The options of a command's --help, from its "Options:" lines.
std::set<std::string> helpOptions(const std::string& help)
{
    std::set<std::string> found;
    bool in = false;
    for (const std::string& line : lines(help)) {
        if (line == "Options:")
            in = true;
        else if (in && line.empty())
            break;
        else if (in && line.rfind("  -", 0) == 0)
            for (const std::string& o : optionsIn(line.substr(0, line.find("  ", 2))))
                found.insert(o);
    }
    return found;
}

} // namespace

TEST(CliUsage, EveryCommandHasHelpThatFitsEightyColumns)
{
    const auto main = cli({"--help"});
    EXPECT_EQ(main.exitCode, 0);
    std::vector<std::string> texts{main.out};
    const std::vector<std::string> names = commandNames();
    ASSERT_GE(names.size(), 11u) << main.out;
    for (const std::string& name : names) {
        const auto r = cli({name, "--help"});
        EXPECT_EQ(r.exitCode, 0) << name;
        EXPECT_EQ(r.err, "") << name;
        EXPECT_EQ(r.out.rfind("usage: corvina-cli " + name, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("-h, --help"), std::string::npos) << name;
        EXPECT_EQ(cli({name, "-h"}).out, r.out) << name;
        // The usage that opens the help (its first line and the indented
        // ones after it) is the one a misuse shows.
        std::string usage;
        for (const std::string& line : lines(r.out)) {
            if (!usage.empty() && line.rfind(" ", 0) != 0)
                break;
            usage += line + "\n";
        }
        const auto bad = cli({name, "--no-such-option"});
        EXPECT_EQ(bad.exitCode, 2) << name;
        EXPECT_EQ(bad.err, "corvina-cli: " + name + ": unknown option '--no-such-option'\n" + usage);
        texts.push_back(r.out);
    }
    for (const std::string& text : texts)
        for (const std::string& line : lines(text))
            EXPECT_LE(line.size(), 80u) << line;

    const auto v = cli({"--version"});
    EXPECT_EQ(v.exitCode, 0);
    EXPECT_EQ(v.out.rfind("corvina-cli ", 0), 0u);
    EXPECT_EQ(lines(v.out).size(), 1u);
    EXPECT_GT(v.out.size(), std::string("corvina-cli \n").size());
}

TEST(CliUsage, ManualPageNamesEveryOptionOfEveryCommand)
{
    const std::string page = testutil::readFile(CORVINA_SOURCE_DIR "/packaging/corvina-cli.1.in");
    ASSERT_FALSE(page.empty());
    // Each command's entry: from its ".TP" line to the next ".TP" or ".SH",
    // with the roff escapes for "-" undone.
    std::map<std::string, std::string> entries;
    for (size_t at = page.find(".TP\n"); at != std::string::npos;) {
        const size_t next = std::min(page.find("\n.TP\n", at + 1), page.find("\n.SH", at + 1));
        std::string entry = page.substr(at + 4, next == std::string::npos ? std::string::npos : next - at - 4);
        for (size_t p; (p = entry.find("\\-")) != std::string::npos;)
            entry.erase(p, 1);
        std::istringstream words(entry);
        std::string macro, name;
        words >> macro >> name;
        entries[name] = entry;
        at = page.find(".TP\n", at + 1);
    }
    const std::vector<std::string> names = commandNames();
    for (const std::string& name : names) {
        ASSERT_TRUE(entries.count(name)) << "no entry for " << name;
        std::set<std::string> fromHelp = helpOptions(cli({name, "--help"}).out);
        fromHelp.erase("-h");
        fromHelp.erase("--help");
        EXPECT_EQ(optionsIn(entries[name]), fromHelp) << name;
    }
    EXPECT_TRUE(entries.count("--help") && entries.count("--version"));
    EXPECT_EQ(entries.size(), names.size() + 2) << "an entry for a command that does not exist";
}

TEST(CliUsage, MisuseExitsTwoWithTheMessageAndTheUsage)
{
    struct Row {
        std::vector<std::string> args;
        std::string message; // after "corvina-cli: "
    };
    const std::vector<Row> rows = {
        {{"scan", "--bogus"}, "scan: unknown option '--bogus'"},
        {{"scan", "a", "b"}, "scan: unexpected argument 'b'"},
        {{"scan", "-0=1"}, "scan: unknown option '-0=1'"},
        {{"links", "--plain-text=yes", "--engine", "google"}, "links: --plain-text takes no value"},
        {{"links", "--engine"}, "links: --engine needs a value (google|altavista)"},
        {{"links"}, "links: --engine google|altavista is required"},
        {{"count", "--engine", "bing"}, "count: unknown engine 'bing' (google or altavista)"},
        {{"fetch"}, "fetch: missing URL"},
        {{"fetch", "--timeout", "soon", "http://h/"}, "fetch: --timeout needs a number of milliseconds (0 = none), not 'soon'"},
        {{"fetch", "--max-time", "soon", "http://h/"}, "fetch: --max-time needs a number of seconds (0 = none), not 'soon'"},
        {{"harvest", "--max-time", "2147484", "-"},
         "harvest: --max-time needs a number of seconds (0 = none), not '2147484'"},
        {{"base64"}, "base64: missing encode|decode"},
        {{"uu", "sideways"}, "uu: 'sideways' is neither encode nor decode"},
        {{"urlencode", "extra"}, "urlencode: unexpected argument 'extra'"},
        {{"search", "--mode", "3", "corvi"}, "search: --mode is 0, 1 or 2"},
        {{"search"}, "search: missing KEY WORDS..."},
        {{"search", "--pages", "0", "corvi"}, "search: --pages needs a whole number of at least 1, not '0'"},
        {{"search", "--proxy", "nohost:port", "corvi"}, "search: --proxy needs HOST:PORT, not 'nohost:port'"},
        {{"harvest", "--proxy", "nohost:port", "-"}, "harvest: --proxy needs HOST:PORT, not 'nohost:port'"},
        {{"harvest", "--delay", "soon", "-"}, "harvest: --delay needs a number of seconds (0 or more), not 'soon'"},
        {{"harvest", "--delay", "soon"}, "harvest: --delay needs a number of seconds (0 or more), not 'soon'"},
        {{"harvest", "--delay", "-1"}, "harvest: --delay needs a number of seconds (0 or more), not '-1'"},
        {{"harvest", "--bogus"}, "harvest: unknown option '--bogus'"},
        {{"search", "--engine", "mojeek", "corvi"}, "search: --engine mojeek needs --api-key KEY"},
        {{"mail", "--to", "a@x.org", "--dry-run"}, "mail: --from is required"},
    };
    for (const Row& row : rows) {
        const auto r = cli(row.args);
        EXPECT_EQ(r.exitCode, 2) << row.message;
        EXPECT_EQ(r.out, "") << row.message;
        EXPECT_EQ(r.err.rfind("corvina-cli: " + row.message + "\nusage: corvina-cli " + row.args[0], 0), 0u) << r.err;
    }
    const auto r = cli({"frobnicate"});
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, "corvina-cli: unknown command 'frobnicate' (see corvina-cli --help)\n");
    EXPECT_EQ(cli({}).exitCode, 2);

    // "--" ends the options: a file may be called "-0".
    testutil::TempDir dir;
    testutil::writeFile(dir.file("-0"), "at a@b.it");
    EXPECT_EQ(cli({"scan", "--", dir.file("-0")}).out, "a@b.it\n");
}

TEST(CliUsage, FailuresExitOneNamingWhatFailed)
{
    uint16_t refused = 0;
    const int fd = testutil::bindLoopback(-1, refused);
    ASSERT_GE(fd, 0);
    const std::string dead = "127.0.0.1:" + std::to_string(refused);
    struct Row {
        std::vector<std::string> args;
        std::string input;
        int status;
        std::vector<std::string> messages; // the lines of standard error begin so
    };
    const std::vector<Row> rows = {
        {{"scan", "/nonexistent/page.html"}, "", 2, {"corvina-cli: /nonexistent/page.html: "}},
        {{"fetch", "--timeout", "3000", "http://no-such-host.invalid/"}, "", 1,
         {"corvina-cli: http://no-such-host.invalid/: "}},
        {{"fetch", "--proxy", dead, "http://a.example/p"}, "", 1,
         {"corvina-cli: http://a.example/p: proxy " + dead + " could not be reached: Connection Failed"}},
        {{"harvest", "/nonexistent/sites.txt"}, "", 2, {"corvina-cli: /nonexistent/sites.txt: "}},
        {{"harvest"}, "", 1, {"corvina-cli: harvest: no site addresses in standard input"}},
        {{"harvest", "--proxy", dead}, "", 1, {"corvina-cli: harvest: no site addresses in standard input"}},
        {{"harvest", "--proxy", dead}, "http://a.example/\n", 1,
         {"corvina-cli: http://a.example/robots.txt: proxy " + dead + " could not be reached: ",
          "corvina-cli: Skipped: 1 connection error", "corvina-cli: harvest: none of the 1 sites could be fetched"}},
        {{"harvest", "--parallel", "1", "--proxy", dead}, "http://a.example/\nhttp://b.example/\n", 1,
         {"corvina-cli: http://a.example/robots.txt: proxy " + dead + " could not be reached: ",
          "corvina-cli: http://b.example/robots.txt: proxy " + dead + " could not be reached: ",
          "corvina-cli: Skipped: 2 connection error", "corvina-cli: harvest: none of the 2 sites could be fetched"}},
        {{"search", "--proxy", dead, "corvi"}, "", 1, {"corvina-cli: http://www.google.com/search?q=corvi: proxy " + dead + " could not be reached: "}},
        // A proxy whose name is not found is one that cannot be reached.
        {{"fetch", "--timeout", "3000", "--proxy", "no-such-proxy.invalid:3128", "http://a.example/p"}, "", 1,
         {"corvina-cli: http://a.example/p: proxy no-such-proxy.invalid:3128 could not be reached: host name not "
          "found"}},
        {{"mail", "--server", dead, "--helo", "me", "--from", "a@x.org", "--to", "b@x.org"}, "hi", 1,
         {"corvina-cli: " + dead + ": "}},
    };
    for (const Row& row : rows) {
        const auto r = cli(row.args, row.input);
        EXPECT_EQ(r.exitCode, row.status) << row.args[0] << ": " << r.err;
        const std::vector<std::string> got = lines(r.err);
        ASSERT_EQ(got.size(), row.messages.size()) << r.err;
        for (size_t i = 0; i < got.size(); ++i)
            EXPECT_EQ(got[i].rfind(row.messages[i], 0), 0u) << got[i];
        EXPECT_EQ(r.err.find("Null Remote Address"), std::string::npos) << r.err;
    }
    // A proxy from http_proxy is named the same way.
    testutil::SavedEnv env({"http_proxy"});
    setenv("http_proxy", ("http://" + dead + "/").c_str(), 1);
    const auto r = cli({"fetch", "http://a.example/p"});
    EXPECT_EQ(r.err, "corvina-cli: http://a.example/p: proxy " + dead + " could not be reached: Connection Failed\n");
    ::close(fd);
}

// Runs corvina-cli harvest with standard error on a pseudo-terminal and
// the site list on standard input; with interrupt, sends SIGINT once the
// meter shows its first site. Returns "STATUS|STDOUT|STDERR".
std::string harvestOnATerminal(const std::string& proxy, bool interrupt)
{
    const std::string script = R"(
import os, pty, select, signal, subprocess, sys
master, slave = pty.openpty()
p = subprocess.Popen(sys.argv[2:], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=slave)
os.close(slave)
p.stdin.write(b"http://a.example/\nhttp://b.example/\n")
p.stdin.close()
err = b""
sent = False
while True:
    if select.select([master], [], [], 20)[0] == []:
        break
    try:
        chunk = os.read(master, 4096)
    except OSError:
        break
    if not chunk:
        break
    err += chunk
    if sys.argv[1] == "interrupt" and not sent and b"sites 1/2" in err:
        p.send_signal(signal.SIGINT)
        sent = True
out = p.stdout.read()
sys.stdout.write("%d|%s|%s" % (p.wait(), out.decode(), err.decode()))
)";
    const auto r = runProcess("/usr/bin/python3", {"-c", script, interrupt ? "interrupt" : "run", CORVINA_CLI_PATH,
                                                   "harvest", "--parallel", "1", "--proxy", proxy});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return r.out;
}

TEST(CliUsage, TheMeterEndsItsLineOnATerminal)
{
    // The meter is drawn in place and its last line ends, so the shell's
    // prompt does not overwrite it; also when Ctrl-C stops the program.
    using enginetest::Serve;
    using enginetest::NoRobots;
    testnet::ScriptServer srv({NoRobots(), Serve("<p>a@one.example.org</p>"), NoRobots(),
                               Serve("<p>b@two.example.org</p>"), NoRobots(), Serve("<p>c@one.example.org</p>"),
                               NoRobots(), Serve("<p>d@two.example.org</p>", 20000)});
    const std::string proxy = "127.0.0.1:" + std::to_string(srv.port());
    for (bool interrupt : {false, true}) {
        const std::string r = harvestOnATerminal(proxy, interrupt);
        const size_t bar = r.rfind('|');
        ASSERT_NE(bar, std::string::npos) << r;
        const std::string err = r.substr(bar + 1);
        EXPECT_EQ(r.substr(0, bar), interrupt ? "-2|" : "0|a@one.example.org\nb@two.example.org\n");
        EXPECT_NE(err.find("\r\033[Ksites 1/2, addresses 1"), std::string::npos) << err;
        ASSERT_GE(err.size(), 2u);
        // The terminal turns the line end into CR LF.
        EXPECT_EQ(err.substr(err.size() - 2), "\r\n") << err;
    }
}

TEST(CliUsage, ScanningInBlocksFindsWhatAWholePageScanFinds)
{
    // Pages of address bytes, signs, stretch ends and zero bytes, cut into
    // blocks of random sizes (down to one byte): the block-by-block scan
    // gives what one scan of the page up to its zero byte gives.
    std::mt19937 rng(11);
    const std::string pieces[] = {"a", "b.c", "@", "x@y.it", " ", "<", "\n", "-", "_", "ab@cd.ef.", "..", "@@"};
    for (int round = 0; round < 300; ++round) {
        std::string page;
        const int count = 1 + static_cast<int>(rng() % 60);
        for (int i = 0; i < count; ++i)
            page += pieces[rng() % std::size(pieces)];
        if (rng() % 5 == 0)
            page.insert(rng() % (page.size() + 1), 1, '\0');

        std::vector<std::string> whole, blocks;
        TPageBuffer buffer;
        buffer.SetText(page);
        ScanAddresses(buffer, [&whole](std::string_view a) { whole.emplace_back(a); });

        const std::function<void(std::string_view)> accept = [&blocks](std::string_view a) { blocks.emplace_back(a); };
        StretchScanner scanner(accept);
        for (size_t at = 0; at < page.size();) {
            const size_t n = std::min<size_t>(1 + rng() % 9, page.size() - at);
            if (!scanner.Add(page.data() + at, n))
                break;
            at += n;
        }
        scanner.End();
        EXPECT_EQ(blocks, whole) << page;
    }
}
