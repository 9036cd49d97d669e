#include "CheckList.h"
#include "SysUtils.h"

#include <QCoreApplication>

#include <QSignalSpy>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using Texts = std::vector<std::string>;

void addAll(TCheckListModel& l, const Texts& texts)
{
    for (const auto& t : texts)
        l.Add(t);
}

// A text and a number ("c" 5 -> "c5").
std::string numbered(const char* prefix, int n)
{
    std::string s(prefix);
    s.append(std::to_string(n));
    return s;
}

Texts expectedOrder(Texts t)
{
    std::stable_sort(t.begin(), t.end(), [](const std::string& a, const std::string& b) { return CompareListEntries(a, b) < 0; });
    return t;
}

} // namespace

TEST(CheckList, OrderIsCaseInsensitiveWithByteOrderBreakingTies)
{
    TCheckListModel l;
    addAll(l, {"beta", "alpha", "Alpha", "ALPHA", "gamma", "alpha", "ab", "abc", "\xE4x", "\xC4y", "Zeta"});
    EXPECT_EQ(l.Texts(), (Texts{"ab", "abc", "ALPHA", "Alpha", "alpha", "alpha", "beta", "gamma", "Zeta", "\xE4x", "\xC4y"}));
    // One at a time, with a reader after each addition (entries inserted row
    // by row), gives the same order as a batch merged at once.
    TCheckListModel one;
    std::mt19937 rng(7);
    Texts all;
    for (int i = 0; i < 300; ++i) {
        // Half of them share a beginning longer than the sort keys.
        std::string t = (i % 2) ? "Contact.Search.123" : "";
        const int n = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < n; ++k)
            t += "aAbB"[rng() % 4];
        all.push_back(t);
        one.Add(t);
        if (i % 3 == 0) {
            EXPECT_EQ(one.Count(), i + 1);
        }
        if (i % 5 == 0)
            (void)one.Texts();
    }
    TCheckListModel batch;
    addAll(batch, all);
    EXPECT_EQ(one.Texts(), expectedOrder(all));
    EXPECT_EQ(batch.Texts(), expectedOrder(all));
    // Exactly equal entries always stand side by side.
    const Texts t = one.Texts();
    for (size_t i = 0; i + 1 < t.size(); ++i)
        for (size_t j = i + 2; j < t.size(); ++j) {
            if (t[i] == t[j]) {
                EXPECT_EQ(t[i + 1], t[i]) << i;
                break;
            }
        }
}

TEST(CheckList, EntryComparisonIsCaseInsensitiveThenByteOrder)
{
    // Texts over letters of both cases (ASCII and Latin-1), zero bytes and
    // long shared beginnings, compared both ways.
    const std::string alphabet = std::string("aAbB\xE4\xC4.@", 8) + std::string(1, '\0');
    std::mt19937 rng(3);
    auto text = [&] {
        std::string t = (rng() % 2) ? "contact.search123" : "";
        const int n = static_cast<int>(rng() % 20);
        for (int k = 0; k < n; ++k)
            t += alphabet[rng() % alphabet.size()];
        return t;
    };
    for (int round = 0; round < 20000; ++round) {
        const std::string a = text(), b = (round % 4 == 0) ? a : text();
        int want = CompareText(a, b);
        if (want == 0)
            want = a.compare(b);
        want = want < 0 ? -1 : (want > 0 ? 1 : 0);
        ASSERT_EQ(CompareListEntries(a, b), want) << a << " / " << b;
        ASSERT_EQ(CompareListEntries(b, a), -want);
    }
}

TEST(CheckList, TicksFollowTheirEntriesAndBadIndexesRaise)
{
    TCheckListModel l;
    addAll(l, {"b", "d", "f"});
    l.SetChecked(1, true); // d
    EXPECT_EQ(l.CheckedCount(), 1);
    addAll(l, {"a", "c", "e"}); // few additions: row by row
    EXPECT_EQ(l.Texts(), (Texts{"a", "b", "c", "d", "e", "f"}));
    EXPECT_FALSE(l.Checked(2));
    EXPECT_TRUE(l.Checked(3));
    for (int i = 0; i < 100; ++i) // many additions: one merge
        l.Add(numbered("c", i));
    EXPECT_EQ(l.Text(103), "d");
    EXPECT_TRUE(l.Checked(103));
    EXPECT_EQ(l.CheckedCount(), 1);
    l.SetText(103, "zz"); // in place: same position, same tick
    EXPECT_EQ(l.Text(103), "zz");
    EXPECT_TRUE(l.Checked(103));
    EXPECT_EQ(l.Text(104), "e");

    EXPECT_THROW(l.Text(-1), Exception);
    EXPECT_THROW(l.Text(l.Count()), Exception);
    EXPECT_THROW(l.SetChecked(l.Count(), true), Exception);
    EXPECT_THROW(l.Delete(l.Count()), Exception);
    EXPECT_THROW(l.Insert(l.Count() + 1, "x"), Exception);
    l.Insert(l.Count(), "tail");
    EXPECT_EQ(l.Text(l.Count() - 1), "tail");
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    EXPECT_EQ(l.ItemIndex(), -1);
}

TEST(CheckList, CurrentEntryFollowsAddsInsertsDeletesAndResorting)
{
    TCheckListModel l;
    addAll(l, {"b", "d", "f"});
    l.SetItemIndex(1);
    EXPECT_TRUE(l.IsCurrent(1));
    EXPECT_FALSE(l.IsCurrent(-1));
    l.Add("a"); // before the current entry
    EXPECT_EQ(l.ItemIndex(), 2);
    l.Add("e"); // after it
    EXPECT_EQ(l.ItemIndex(), 2);
    for (int i = 0; i < 100; ++i)
        l.Add(numbered("c", i)); // merged at once
    EXPECT_EQ(l.ItemIndex(), 102);
    EXPECT_EQ(l.Text(l.ItemIndex()), "d");
    l.Insert(0, "zz"); // out of order, at a given position
    EXPECT_EQ(l.Text(l.ItemIndex()), "d");
    l.Delete(0);
    l.Delete(0);
    EXPECT_EQ(l.Text(l.ItemIndex()), "d");
    l.Delete(l.Count() - 1);
    EXPECT_EQ(l.Text(l.ItemIndex()), "d");
    l.Delete(l.ItemIndex());
    EXPECT_EQ(l.ItemIndex(), -1);
    l.SetItemIndex(l.Count());
    EXPECT_EQ(l.ItemIndex(), -1);

    // Suspended sorting appends; resuming sorts again and keeps the current
    // entry and the ticks with their entries.
    TCheckListModel s;
    addAll(s, {"m", "c"});
    s.SetSorted(false);
    s.Add("b");
    s.Add("a");
    EXPECT_EQ(s.Texts(), (Texts{"c", "m", "b", "a"}));
    s.SetItemIndex(2);
    s.SetChecked(3, true);
    s.SetSorted(true);
    EXPECT_EQ(s.Texts(), (Texts{"a", "b", "c", "m"}));
    EXPECT_EQ(s.ItemIndex(), 1);
    EXPECT_TRUE(s.Checked(0));

    // The duplicate pass: entries removed before the current one move it; a
    // removed current entry leaves none.
    TCheckListModel d;
    addAll(d, {"a", "a", "b", "c", "c"});
    d.SetItemIndex(3);
    EXPECT_EQ(d.RemoveAdjacentDuplicates(), 2);
    EXPECT_EQ(d.ItemIndex(), 2);
    addAll(d, {"c"});
    d.SetItemIndex(3);
    d.RemoveAdjacentDuplicates();
    EXPECT_EQ(d.ItemIndex(), -1);
    // The same with many removals (the list is reset rather than told row by
    // row).
    TCheckListModel big;
    for (int i = 0; i < 200; ++i) {
        big.Add("dup");
        big.Add(numbered("e", i % 10));
    }
    big.Add("x");
    big.SetItemIndex(big.Count() - 1);
    big.SetChecked(0, true);
    EXPECT_EQ(big.RemoveAdjacentDuplicates(), 389);
    EXPECT_EQ(big.Count(), 12);
    EXPECT_EQ(big.ItemIndex(), 11);
    EXPECT_TRUE(big.Checked(0));
    EXPECT_EQ(big.Text(0), "dup");
}

TEST(CheckList, AssignReplacesUntickedSortedWithoutCurrent)
{
    TCheckListModel l;
    addAll(l, {"q", "r"});
    l.SetChecked(0, true);
    l.SetItemIndex(1);
    l.Assign({"b", "", "A", "a"});
    EXPECT_EQ(l.Texts(), (Texts{"", "A", "a", "b"}));
    EXPECT_EQ(l.CheckedCount(), 0);
    EXPECT_EQ(l.ItemIndex(), -1);
    l.SetSorted(false);
    l.Assign({"b", "a"});
    EXPECT_EQ(l.Texts(), (Texts{"b", "a"}));

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A list too large for the memory left leaves the old one and its views
    // as they were (the address space is capped to make memory run out).
    l.SetSorted(true);
    l.SetChecked(1, true);
    l.SetItemIndex(0);
    const Texts before = l.Texts();
    QSignalSpy resets(&l, &QAbstractItemModel::modelAboutToBeReset);
    long pages = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(f);
    }
    if (pages > 0) {
        constexpr size_t kEntries = 2'000'000;  // 64 MB of texts, 80 MB of entries
        rlimit old{};
        ::getrlimit(RLIMIT_AS, &old);
        rlimit lim = old;
        lim.rlim_cur = static_cast<rlim_t>(pages) * static_cast<rlim_t>(::sysconf(_SC_PAGESIZE)) + (100u << 20);
        ::setrlimit(RLIMIT_AS, &lim);
        bool threw = false;
        try {
            Texts many(kEntries, "x");
            l.Assign(std::move(many));
        } catch (const std::bad_alloc&) {
            threw = true;
        }
        ::setrlimit(RLIMIT_AS, &old);
        EXPECT_TRUE(threw) << "memory did not run out; nothing was tested";
        if (threw) {
            EXPECT_EQ(l.Texts(), before);
            EXPECT_TRUE(l.Checked(1));
            EXPECT_EQ(l.ItemIndex(), 0);
            EXPECT_EQ(resets.count(), 0) << "views were never told of a reset that did not happen";
        }
    }
#endif
}

TEST(CheckList, ModelSignalsTellViewsOfEveryChange)
{
    TCheckListModel l;
    QSignalSpy inserted(&l, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&l, &QAbstractItemModel::rowsRemoved);
    QSignalSpy reset(&l, &QAbstractItemModel::modelReset);
    QSignalSpy changed(&l, &QAbstractItemModel::dataChanged);
    QSignalSpy current(&l, &TCheckListModel::ItemIndexChanged);

    l.Add("b");
    l.Add("a");
    EXPECT_EQ(l.rowCount(), 0); // not merged yet: views see the merged rows only
    l.Flush();
    EXPECT_EQ(l.rowCount(), 2);
    EXPECT_EQ(inserted.count() + reset.count(), reset.count() ? 1 : 2);
    inserted.clear();
    reset.clear();

    l.Add("c"); // one addition to a list with rows: one row inserted
    l.Flush();
    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(reset.count(), 0);

    for (int i = 0; i < 100; ++i)
        l.Add(numbered("m", i));
    l.Flush();
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(l.rowCount(), 103);

    l.Delete(1);
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed[0][1].toInt(), 1);

    l.SetChecked(0, true);
    l.SetChecked(0, true); // no change, no signal
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 0);
    l.SetText(1, "renamed");
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(l.data(l.index(1), Qt::DisplayRole).toString(), "renamed");
    EXPECT_EQ(l.data(l.index(0), Qt::CheckStateRole).toInt(), int(Qt::Checked));
    EXPECT_TRUE(l.flags(l.index(0)) & Qt::ItemIsUserCheckable);

    // No current entry moved so far.
    EXPECT_EQ(current.count(), 0);
    l.SetItemIndex(5);
    l.Add("zzz");
    l.Flush();
    l.Add("0");
    l.Flush();
    ASSERT_EQ(current.count(), 2);
    EXPECT_EQ(current[1][0].toInt(), 6);

    l.Clear();
    EXPECT_EQ(l.rowCount(), 0);
    EXPECT_EQ(reset.count(), 2);
}

TEST(CheckList, TickFromAViewLandsOnTheRowItShows)
{
    TCheckListModel l;
    l.Assign({"b", "c"});
    l.Add("a"); // pending: the view still shows b, c
    ASSERT_EQ(l.rowCount(), 2);
    EXPECT_TRUE(l.setData(l.index(1), Qt::Checked, Qt::CheckStateRole));
    EXPECT_EQ(l.Texts(), (Texts{"a", "b", "c"}));
    EXPECT_FALSE(l.Checked(1));
    EXPECT_TRUE(l.Checked(2)); // "c", the row the view showed
    EXPECT_FALSE(l.setData(l.index(0), Qt::Checked, Qt::DisplayRole));
}

TEST(CheckList, PendingAdditionsMergeWhenTheEventLoopRuns)
{
    TCheckListModel l;
    l.Add("x");
    EXPECT_EQ(l.rowCount(), 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(l.rowCount(), 1);
}

TEST(CheckList, DeleteCheckedRemovesEveryTickedEntryAndFollowsTheCurrentOne)
{
    // Few removals are told row by row, many reset the list: both must leave
    // the same entries and keep the current entry on its text.
    for (int n : {10, 300}) {
        TCheckListModel l;
        l.SetSorted(false);
        for (int i = 0; i < n; ++i)
            l.Add(numbered("e", i));
        for (int i = 0; i < n; i += 2)
            l.SetChecked(i, true);
        l.SetItemIndex(n - 1);
        EXPECT_EQ(l.DeleteChecked(), n / 2) << n;
        EXPECT_EQ(l.Count(), n / 2);
        EXPECT_EQ(l.CheckedCount(), 0);
        EXPECT_EQ(l.Text(0), "e1");
        EXPECT_EQ(l.ItemIndex(), n / 2 - 1);
        EXPECT_EQ(l.Text(l.ItemIndex()), numbered("e", n - 1));
        for (int i = 0; i < l.Count(); ++i)
            l.SetChecked(i, true);
        EXPECT_EQ(l.DeleteChecked(), n / 2);
        EXPECT_EQ(l.Count(), 0);
        EXPECT_EQ(l.ItemIndex(), -1) << "a removed current entry leaves none";
    }
}

// The chunked store against a plain vector: random insertions, erasures and
// look-ups over enough entries to split and empty many chunks.
TEST(EntryStore, BehavesAsAVectorThroughSplitsAndEmptiedChunks)
{
    TEntryStore store;
    std::vector<std::string> model;
    std::mt19937 rng(11);
    const auto check = [&] {
        ASSERT_EQ(store.size(), model.size());
        size_t k = 0;
        store.forEach([&](const TCheckEntry& e) { ASSERT_EQ(e.text, model[k++]); });
        for (int probe = 0; probe < 50 && !model.empty(); ++probe) {
            const size_t at = rng() % model.size();
            ASSERT_EQ(store[at].text, model[at]);
        }
    };
    for (int step = 0; step < 20000; ++step) {
        const bool grow = model.size() < 3000 ? rng() % 4 != 0 : rng() % 2 == 0;
        if (grow || model.empty()) {
            // Runs at one place split the same chunk again and again.
            const size_t at = step % 7 == 0 ? model.size() / 2 : rng() % (model.size() + 1);
            std::string t = numbered("e", step);
            store.insert(at, TCheckEntry{t, false});
            model.insert(model.begin() + static_cast<std::ptrdiff_t>(at), t);
        } else {
            const size_t at = rng() % model.size();
            store.erase(at);
            model.erase(model.begin() + static_cast<std::ptrdiff_t>(at));
        }
        if (step % 997 == 0)
            check();
    }
    check();
    // Erasing everything from the front leaves an empty store that grows again.
    while (store.size() > 0)
        store.erase(0);
    model.clear();
    store.push_back(TCheckEntry{"last", false});
    model.push_back("last");
    check();
    std::vector<TCheckEntry> taken = store.take();
    ASSERT_EQ(taken.size(), 1u);
    EXPECT_EQ(store.size(), 0u);
}

// Merging a site's addresses must leave exactly what adding them one by one
// and running the whole duplicate pass leaves: same texts, ticks and current
// entry, also when the list held repeats before (loaded from a file).
TEST(CheckList, MergeUniqueLeavesWhatAddingAndTheDuplicatePassLeave)
{
    std::mt19937 rng(5);
    const auto word = [&rng] {
        std::string t = "a@";
        const int n = 1 + static_cast<int>(rng() % 2);
        for (int k = 0; k < n; ++k)
            t += "xXyYz"[rng() % 5];
        return t + ".org";
    };
    for (int round = 0; round < 60; ++round) {
        TCheckListModel merged, reference;
        Texts start;
        for (int i = 0; i < static_cast<int>(rng() % 40); ++i)
            start.push_back(word());
        // Loaded with its repeats, as a list file may hold them.
        merged.Assign(start);
        reference.Assign(start);
        for (int i = 0; i < merged.Count(); i += 3) {
            merged.SetChecked(i, true);
            reference.SetChecked(i, true);
        }
        if (merged.Count() > 0) {
            merged.SetItemIndex(merged.Count() / 2);
            reference.SetItemIndex(reference.Count() / 2);
        }
        for (int site = 0; site < 5; ++site) {
            Texts found;
            const int n = static_cast<int>(rng() % (site == 2 ? 200 : 12));
            for (int i = 0; i < n; ++i)
                found.push_back(word());
            reference.RemoveAdjacentDuplicates();
            const int before = reference.Count();
            addAll(reference, found);
            reference.RemoveAdjacentDuplicates();
            const int added = merged.MergeUnique(found);
            ASSERT_EQ(added, reference.Count() - before) << "round " << round << " site " << site;
            ASSERT_EQ(merged.Texts(), reference.Texts()) << "round " << round << " site " << site;
            ASSERT_EQ(merged.ItemIndex(), reference.ItemIndex());
            for (int i = 0; i < merged.Count(); ++i)
                ASSERT_EQ(merged.Checked(i), reference.Checked(i)) << i;
        }
    }
}

// A view is told of a few new rows one by one and of many by one reset;
// the current entry follows its entry either way.
TEST(CheckList, MergeUniqueTellsViewsAndFollowsTheCurrentEntry)
{
    TCheckListModel l;
    l.Assign({"b@b.org", "d@d.org", "f@f.org"});
    l.SetItemIndex(1); // d
    QSignalSpy inserted(&l, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&l, &QAbstractItemModel::modelReset);
    QSignalSpy current(&l, &TCheckListModel::ItemIndexChanged);
    EXPECT_EQ(l.MergeUnique({"a@a.org", "d@d.org", "c@c.org", "a@a.org"}), 2);
    EXPECT_EQ(inserted.count(), 2);
    EXPECT_EQ(reset.count(), 0);
    EXPECT_EQ(l.ItemIndex(), 3);
    EXPECT_EQ(l.Text(3), "d@d.org");
    ASSERT_EQ(current.count(), 1);
    EXPECT_EQ(current.at(0).at(0).toInt(), 3);

    Texts many;
    for (int i = 0; i < 100; ++i)
        many.push_back(numbered("a", i) + "@m.org");
    inserted.clear();
    EXPECT_EQ(l.MergeUnique(many), 100);
    EXPECT_EQ(inserted.count(), 0);
    EXPECT_EQ(reset.count(), 1);
    EXPECT_EQ(l.Text(l.ItemIndex()), "d@d.org");
    EXPECT_EQ(l.MergeUnique(many), 0);
    EXPECT_EQ(reset.count(), 1);
}
