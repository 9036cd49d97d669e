#include "CheckList.h"
#include "Classes.h"
#include "SysUtils.h"
#include "TestUtil.h"
#include "ListFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using testutil::readFile;
using testutil::TempDir;
using testutil::writeFile;

namespace {

using Texts = std::vector<std::string>;

} // namespace

TEST(ListFiles, ListTextWritingAndReading)
{
    EXPECT_EQ(ListText(Texts{}), "");
    EXPECT_EQ(ListText(Texts{"a", "", "b"}), "a\r\n\r\nb\r\n");
    EXPECT_EQ(SplitListText(""), Texts{});
    EXPECT_EQ(SplitListText("a\r\n"), Texts{"a"});
    EXPECT_EQ(SplitListText("a"), Texts{"a"});
    EXPECT_EQ(SplitListText("a\rb\nc\r\nd"), (Texts{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitListText("\r\n\r\n"), (Texts{"", ""}));
    EXPECT_EQ(SplitListText("a\n\rb"), (Texts{"a", "", "b"})); // LF then a lone CR
    EXPECT_EQ(SplitListText("a\r\r\nb\n"), (Texts{"a", "", "b"}));
    EXPECT_EQ(SplitListText(std::string("a\r\nb\0c\r\nd", 9)), (Texts{"a", "b"}));
    EXPECT_EQ(SplitListText(" x ;y,z \t"), Texts{" x ;y,z \t"}); // nothing interpreted

    TempDir dir;
    TCheckListModel l;
    l.Assign({"http://b.it/", "http://a.it/"});
    SaveListText(l, dir.file("sites"));
    EXPECT_EQ(readFile(dir.file("sites")), "http://a.it/\r\nhttp://b.it/\r\n");
    TCheckListModel empty;
    SaveListText(empty, dir.file("none"));
    EXPECT_EQ(readFile(dir.file("none")), "");

    // Loading replaces the list: earlier entries gone, all unticked, sorted,
    // blank lines kept as entries.
    writeFile(dir.file("in.txt"), "zeta\n\nAlpha\r\nbeta\r");
    l.SetChecked(0, true);
    l.SetItemIndex(1);
    EXPECT_EQ(LoadListText(l, dir.file("in.txt")), 4);
    EXPECT_EQ(l.Texts(), (Texts{"", "Alpha", "beta", "zeta"}));
    EXPECT_EQ(l.CheckedCount(), 0);
    EXPECT_EQ(l.ItemIndex(), -1);
}

TEST(ListFiles, FailuresLeaveTheListAndWriteNothing)
{
    TempDir dir;
    TCheckListModel l;
    l.Assign({"a@b.it", "c@d.it"});
    l.SetChecked(1, true);
    l.SetItemIndex(0);
    EXPECT_THROW(LoadListText(l, dir.file("missing.txt")), EFOpenError);
    EXPECT_THROW(LoadListText(l, dir.path()), EFOpenError); // a folder
    EXPECT_THROW(LoadAddressBook(l, dir.file("missing.csv")), EFOpenError);
    // A file that opens but cannot be read (a failing disk gives the same
    // error) is not taken as empty.
    if (FileExists("/proc/self/mem")) {
        EXPECT_THROW(LoadListText(l, "/proc/self/mem"), EStreamError);
        EXPECT_THROW(LoadAddressBook(l, "/proc/self/mem"), EStreamError);
    }
    EXPECT_EQ(l.Texts(), (Texts{"a@b.it", "c@d.it"}));
    EXPECT_TRUE(l.Checked(1));
    EXPECT_EQ(l.ItemIndex(), 0);

    const std::string nowhere = dir.file("no/such/folder/list");
    EXPECT_THROW(SaveListText(l, nowhere), EFCreateError);
    EXPECT_THROW(SaveAddressText(l, nowhere, true), EFCreateError);
    EXPECT_THROW(SaveAddressBook(l, nowhere), EFCreateError);
    EXPECT_FALSE(FileExists(nowhere + ".csv"));
    // The address-book save leaves the list as it was, also on failure.
    EXPECT_EQ(l.Texts(), (Texts{"a@b.it", "c@d.it"}));
    EXPECT_TRUE(l.Checked(1));
    EXPECT_EQ(l.ItemIndex(), 0);
}

TEST(ListFiles, FileNameAdjustment)
{
    EXPECT_EQ(AdjustFileName("/tmp/list.txt", "txt"), "/tmp/list.txt");
    EXPECT_EQ(AdjustFileName("/tmp/list.TxT", "txt"), "/tmp/list.TxT");
    EXPECT_EQ(AdjustFileName("/tmp/list", "txt"), "/tmp/list.txt");
    EXPECT_EQ(AdjustFileName("/tmp/list.csv", "txt"), "/tmp/list.csv.txt");
    EXPECT_EQ(AdjustFileName("/tmp/listtxt", "txt"), "/tmp/listtxt"); // the last three characters only
    EXPECT_EQ(AdjustFileName("/tmp/book.CSV", "csv"), "/tmp/book.CSV");
    EXPECT_EQ(AdjustFileName("/tmp/book.txt", "csv"), "/tmp/book.txt.csv");
    EXPECT_EQ(AdjustFileName("xt", "txt"), "xt.txt");
    EXPECT_EQ(AdjustFileName("", "csv"), ".csv");
}

TEST(ListFiles, AddressTextColumnedAndOnRow)
{
    TempDir dir;
    TCheckListModel l;
    l.Assign({"b@c.it", "a@b.it"});
    EXPECT_EQ(SaveAddressText(l, dir.file("col"), false), dir.file("col.txt"));
    EXPECT_EQ(readFile(dir.file("col.txt")), "a@b.it\r\nb@c.it\r\n");

    EXPECT_EQ(SaveAddressText(l, dir.file("row.TXT"), true), dir.file("row.TXT"));
    EXPECT_EQ(readFile(dir.file("row.TXT")), "a@b.it; b@c.it; ");
    // A row loads as one entry.
    EXPECT_EQ(LoadListText(l, dir.file("row.TXT")), 1);
    EXPECT_EQ(l.Text(0), "a@b.it; b@c.it; ");

    TCheckListModel empty;
    SaveAddressText(empty, dir.file("empty.txt"), true);
    EXPECT_EQ(readFile(dir.file("empty.txt")), "");

    // The rewrite turns CR LF and LF CR pairs into "; " and keeps the length.
    writeFile(dir.file("raw"), "a\r\nb\n\rc\r\rd\n\ne\r\n\r\nf\r");
    EXPECT_TRUE(RewriteAsRow(dir.file("raw")));
    EXPECT_EQ(readFile(dir.file("raw")), "a; b; c\r\rd\n\ne; ; f\r");
    // A file that cannot be reopened stays columned, and the program goes on.
    EXPECT_FALSE(RewriteAsRow(dir.file("missing")));
    if (::geteuid() != 0) {
        writeFile(dir.file("ro"), "x\r\n");
        ::chmod(dir.file("ro").c_str(), 0444);
        EXPECT_FALSE(RewriteAsRow(dir.file("ro")));
        EXPECT_EQ(readFile(dir.file("ro")), "x\r\n");
    }
}

TEST(ListFiles, AddressBookWithHeader)
{
    TempDir dir;
    TCheckListModel l;
    l.Assign({"c@d.it", "a@b.it", "a@b.it"});
    l.SetChecked(2, true);
    l.SetItemIndex(1);
    EXPECT_EQ(SaveAddressBook(l, dir.file("book")), dir.file("book.csv"));
    EXPECT_EQ(readFile(dir.file("book.csv")), "Posta elettronica\r\na@b.it\r\na@b.it\r\nc@d.it\r\n");
    EXPECT_EQ(l.Texts(), (Texts{"a@b.it", "a@b.it", "c@d.it"}));
    EXPECT_TRUE(l.Checked(2));
    EXPECT_EQ(l.ItemIndex(), 1);

    // A list out of order (after the clean-up) keeps its order too.
    l.SetText(0, "zz@b.it");
    SaveAddressBook(l, dir.file("book2.csv"));
    EXPECT_EQ(readFile(dir.file("book2.csv")), "Posta elettronica\r\nzz@b.it\r\na@b.it\r\nc@d.it\r\n");
    EXPECT_EQ(l.Text(0), "zz@b.it");

    TCheckListModel back;
    back.Assign({"old@x.it"});
    EXPECT_EQ(LoadAddressBook(back, dir.file("book.csv")), 3);
    EXPECT_EQ(back.Texts(), (Texts{"a@b.it", "a@b.it", "c@d.it"}));
    EXPECT_EQ(back.CheckedCount(), 0);

    // Only the first header line goes (case-sensitive); several columns stay
    // one entry per line.
    writeFile(dir.file("other.csv"), "Nome,Posta elettronica\r\nPosta elettronica\r\nx,a@b.it\r\nposta elettronica\nPosta elettronica\r\n");
    EXPECT_EQ(LoadAddressBook(back, dir.file("other.csv")), 4);
    EXPECT_EQ(back.Texts(), (Texts{"Nome,Posta elettronica", "Posta elettronica", "posta elettronica", "x,a@b.it"}));
    writeFile(dir.file("nohead.csv"), "a@b.it\r\n");
    EXPECT_EQ(LoadAddressBook(back, dir.file("nohead.csv")), 1);
}

TEST(ListFiles, AddressBookReadsAsOneColumnInACsvReader)
{
    TempDir dir;
    TCheckListModel l;
    l.Assign({"pq.rs@b.it", "a_b-c+d@e.co.uk", "x%y!z@w.org"});
    const std::string name = SaveAddressBook(l, dir.file("rubrica"));
    const std::string script =
        "import csv, sys\n"
        "with open(sys.argv[1], newline='', encoding='latin-1') as f:\n"
        "    rows = list(csv.reader(f))\n"
        "for r in rows:\n"
        "    print(len(r), r[0])\n"
        "with open(sys.argv[1], newline='', encoding='latin-1') as f:\n"
        "    d = list(csv.DictReader(f))\n"
        "print('|'.join(row['Posta elettronica'] for row in d))\n";
    writeFile(dir.file("read.py"), script);
    const auto r = testutil::runProcess("/usr/bin/python3", {dir.file("read.py"), name});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "1 Posta elettronica\n1 a_b-c+d@e.co.uk\n1 pq.rs@b.it\n1 x%y!z@w.org\n"
                     "a_b-c+d@e.co.uk|pq.rs@b.it|x%y!z@w.org\n");
}

namespace {

// Limits the size of any file this process writes while it lives; writes
// beyond it fail (as on a full disk) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit lim = old_;
        lim.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &lim);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

std::vector<std::string> dirEntries(const std::string& dir)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

TEST(ListFiles, SavesThatFailPartWayKeepTheFileTheyReplace)
{
    TempDir dir;
    TCheckListModel big;
    Texts texts;
    for (int i = 0; i < 2000; ++i)
        texts.push_back("someone" + std::to_string(i) + "@example.it");
    big.Assign(texts);
    const std::string old = "old@x.it\r\n";
    for (const char* name : {"sites", "mails.txt", "book.csv"})
        writeFile(dir.file(name), old);
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(SaveListText(big, dir.file("sites")), EStreamError);
        EXPECT_THROW(SaveAddressText(big, dir.file("mails.txt"), true), EStreamError);
        EXPECT_THROW(SaveAddressBook(big, dir.file("book.csv")), EStreamError);
        // A new file that cannot be written whole is not left behind.
        EXPECT_THROW(SaveListText(big, dir.file("new")), EStreamError);
    }
    for (const char* name : {"sites", "mails.txt", "book.csv"})
        EXPECT_TRUE(readFile(dir.file(name)) == old) << name << " was cut short";
    EXPECT_EQ(dirEntries(dir.path()), (Texts{"book.csv", "mails.txt", "sites"})) << "no stray files";
    EXPECT_EQ(big.Count(), 2000);

    // A replaced file keeps its permissions; a link stays a link to the
    // file it names; a file with several names is written under all of them.
    TCheckListModel l;
    l.Assign({"a@b.it"});
    ::chmod(dir.file("sites").c_str(), 0600);
    SaveListText(l, dir.file("sites"));
    EXPECT_EQ(readFile(dir.file("sites")), "a@b.it\r\n");
    struct stat st {};
    ASSERT_EQ(::stat(dir.file("sites").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    std::filesystem::create_symlink(dir.file("sites"), dir.file("link"));
    l.Assign({"c@d.it"});
    SaveListText(l, dir.file("link"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
    EXPECT_EQ(readFile(dir.file("sites")), "c@d.it\r\n");

    std::filesystem::create_hard_link(dir.file("sites"), dir.file("twin"));
    l.Assign({"e@f.it"});
    SaveListText(l, dir.file("sites"));
    EXPECT_EQ(readFile(dir.file("twin")), "e@f.it\r\n");
    EXPECT_EQ(dirEntries(dir.path()), (Texts{"book.csv", "link", "mails.txt", "sites", "twin"}));
}

namespace {

// Ends a wait on a FIFO that nobody else opens: unless released first, it
// opens the other end after a few seconds and closes it again, so a load or
// save that blocked on the FIFO returns (and the test fails) instead of
// hanging.
class FifoWatchdog {
public:
    FifoWatchdog(const std::string& path, int otherEnd)
        : thread_([this, path, otherEnd] {
              std::unique_lock<std::mutex> lock(mutex_);
              if (!released_.wait_for(lock, std::chrono::seconds(5), [this] { return done_; })) {
                  const int fd = ::open(path.c_str(), otherEnd | O_NONBLOCK);
                  if (fd >= 0)
                      ::close(fd);
              }
          })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        released_.notify_all();
        thread_.join();
    }

private:
    std::mutex mutex_;
    std::condition_variable released_;
    bool done_ = false;
    std::thread thread_;
};

// A tmpfs of the given size mounted on a fresh folder while it lives; empty
// path() when it cannot be mounted (not privileged).
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& dir, const std::string& size) : dir_(dir)
    {
        std::filesystem::create_directory(dir_);
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            ::umount2(dir_.c_str(), MNT_DETACH);
    }
    std::string path() const { return mounted_ ? dir_ : std::string(); }
    std::string file(const std::string& name) const { return dir_ + "/" + name; }

private:
    std::string dir_;
    bool mounted_ = false;
};

} // namespace

TEST(ListFiles, OnlyPlainFilesOfBoundedSizeAreRead)
{
    TempDir dir;
    const std::string fifo = dir.file("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string huge = dir.file("huge.txt");
    writeFile(huge, "a@b.it\r\n");
    ASSERT_EQ(::truncate(huge.c_str(), kListFileMaxBytes + 1), 0); // sparse: no disk used
    std::filesystem::create_directory(dir.file("folder.csv"));

    TCheckListModel l;
    l.Assign({"kept@x.it", "other@y.it"});
    l.SetChecked(1, true);
    using Loader = int (*)(TCheckListModel&, const std::string&);
    for (const std::string& name : {fifo, dir.file("folder.csv"), huge, std::string("/dev/zero")}) {
        for (Loader load : {Loader(&LoadListText), Loader(&LoadAddressBook)}) {
            FifoWatchdog watchdog(fifo, O_WRONLY);
            try {
                load(l, name);
                ADD_FAILURE() << name << " was read";
            } catch (const EFOpenError& e) {
                EXPECT_NE(e.Message.find("\"" + name + "\""), std::string::npos) << e.Message;
            }
        }
        EXPECT_EQ(l.Texts(), (Texts{"kept@x.it", "other@y.it"})) << name;
        EXPECT_TRUE(l.Checked(1)) << name;
    }

    // Saving to a FIFO is refused too, rather than waiting for a reader.
    for (const bool onRow : {false, true}) {
        FifoWatchdog watchdog(fifo, O_RDONLY);
        EXPECT_THROW(SaveAddressText(l, fifo, onRow), EFCreateError);
    }
}

TEST(ListFiles, ARewriteInPlaceKeepsTheOldBytesUnlessTheNewOnesFitWhole)
{
    // A file with a second name cannot be replaced by a new file (the other
    // name would keep the old one), so it is rewritten through its own name.
    TCheckListModel big;
    Texts texts;
    for (int i = 0; i < 2000; ++i)
        texts.push_back("someone" + std::to_string(i) + "@example.it");
    big.Assign(texts);
    const std::string old = "old@x.it\r\nolder@x.it\r\n";
    const auto linkedPair = [&](const std::string& folder) {
        writeFile(folder + "/list.txt", old);
        std::filesystem::remove(folder + "/twin.txt");
        std::filesystem::create_hard_link(folder + "/list.txt", folder + "/twin.txt");
    };
    const auto expectOld = [&](const std::string& folder, const char* how) {
        EXPECT_TRUE(readFile(folder + "/list.txt") == old) << how << ": list.txt changed";
        EXPECT_TRUE(readFile(folder + "/twin.txt") == old) << how << ": twin.txt changed";
    };

    TempDir dir;
    linkedPair(dir.path());
    {
        FileSizeLimit limit(4096);
        EXPECT_THROW(SaveListText(big, dir.file("list.txt")), EStreamError);
        EXPECT_THROW(SaveAddressText(big, dir.file("list.txt"), true), EStreamError);
        EXPECT_THROW(SaveAddressBook(big, dir.file("twin.txt")), EStreamError);
    }
    expectOld(dir.path(), "size limit");

    // A full disk.
    SmallFileSystem small(dir.file("small"), "16k");
    if (!small.path().empty()) {
        linkedPair(small.path());
        EXPECT_THROW(SaveListText(big, small.file("list.txt")), EStreamError);
        expectOld(small.path(), "full disk");
        EXPECT_EQ(dirEntries(small.path()), (Texts{"list.txt", "twin.txt"})) << "no stray files";
    }

    // A shorter content that fits replaces the old one under both names.
    TCheckListModel l;
    l.Assign({"a@b.it"});
    SaveListText(l, dir.file("list.txt"));
    EXPECT_EQ(readFile(dir.file("twin.txt")), "a@b.it\r\n");

    // A folder the user may not write to (root may write to any).
    if (::geteuid() != 0) {
        std::filesystem::create_directory(dir.file("ro"));
        writeFile(dir.file("ro/list.txt"), old);
        ::chmod(dir.file("ro").c_str(), 0555);
        {
            FileSizeLimit limit(4096);
            EXPECT_THROW(SaveListText(big, dir.file("ro/list.txt")), EStreamError);
        }
        EXPECT_EQ(readFile(dir.file("ro/list.txt")), old);
        SaveListText(l, dir.file("ro/list.txt"));
        EXPECT_EQ(readFile(dir.file("ro/list.txt")), "a@b.it\r\n");
        ::chmod(dir.file("ro").c_str(), 0755);
    }
}

TEST(ListFiles, EveryKindWritesCrLfAndAFileWithItLoadsAndSavesBackByteForByte)
{
    TempDir dir;
    TCheckListModel list;
    struct Row {
        const char* name;
        std::string crlf;  // as this program writes it (sorted, as every saved list is)
        std::string lf;    // the same list with LF line ends
        std::function<int(TCheckListModel&, const std::string&)> load;
        std::function<void(TCheckListModel&, const std::string&)> save;
        std::string file;
    };
    const Row rows[] = {
        {"sites", "\r\nhttp://a.it/\r\nhttp://b.it/ x\r\n", "\nhttp://a.it/\nhttp://b.it/ x\n", LoadListText,
         [](TCheckListModel& l, const std::string& f) { SaveListText(l, f); }, "sites.txt"},
        {"address text", "a@x.it\r\nb@x.it\r\n", "a@x.it\nb@x.it\n", LoadListText,
         [](TCheckListModel& l, const std::string& f) { SaveAddressText(l, f, false); }, "mails.txt"},
        {"address book", "Posta elettronica\r\na@x.it\r\nb@x.it\r\n", "Posta elettronica\na@x.it\nb@x.it\n",
         LoadAddressBook, [](TCheckListModel& l, const std::string& f) { SaveAddressBook(l, f); }, "book.csv"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string in = dir.file("in"), out = dir.file(r.file);
        writeFile(in, r.crlf);
        r.load(list, in);
        const Texts entries = list.Texts();
        r.save(list, out);
        EXPECT_EQ(readFile(out), r.crlf) << "loaded and saved again, unchanged";
        // An LF file loads to the same entries and is written with CR LF.
        writeFile(in, r.lf);
        r.load(list, in);
        EXPECT_EQ(list.Texts(), entries);
        r.save(list, out);
        EXPECT_EQ(readFile(out), r.crlf);
    }
}
