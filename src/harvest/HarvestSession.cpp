#include "HarvestSession.h"

#include "AddressScanner.h"
#include "LinkExtractor.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcHarvest, "corvina.harvest", QtWarningMsg)

THarvestSession::THarvestSession(IHarvestView& view, IPageFetcher& fetcher, TCheckListModel& sites,
                                 TCheckListModel& results, TPageBuffer& page)
    : view_(view), sites_(sites), results_(results), page_(page), gate_(fetcher)
{
}

void THarvestSession::Reset()
{
    stop_ = false;
    resumeIndex_ = 0;
}

void THarvestSession::SearchEmail()
{
    // A press while a harvest runs (its pauses and fetches service the event
    // queue) is not a second harvest inside the first.
    if (running_)
        return;
    running_ = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{running_};
    stop_ = false;
    gate_.StartRun();
    view_.ShowSkipped(gate_.Skips());
    const int ticked = sites_.CheckedCount();
    auto progress = [ticked](int examined) {
        std::string text = std::to_string(examined);
        text += '/';
        text += std::to_string(ticked);
        return text;
    };
    view_.SetHarvestBar(ticked, 0);
    view_.ShowExamined(progress(0));
    if (ticked == 0) {
        view_.ShowError("Must select on 'Siti Trovati' sites to examine");
        return;
    }

    // A resumed harvest counts every entry before the resume index as
    // examined, ticked or not.
    int index = resumeIndex_;
    int examined = resumeIndex_;
    if (resumeIndex_ != 0)
        view_.SetHarvestPosition(examined);

    // The list is read afresh at every step: list operations may run during
    // a fetch and change its entries and its count.
    while (index < sites_.Count() && !stop_) {
        if (sites_.Checked(index)) {
            const std::string url = sites_.Text(index);
            TSiteGate::TResult site = gate_.Fetch(url, view_.HarvestSettings().DelaySeconds);
            if (site.outcome == TSiteGate::Stopped)
                break; // stopped before the site was asked for: a resume starts here
            if (site.outcome == TSiteGate::Fetched)
                page_.SetText(std::move(site.body));
            else
                view_.ShowSkipped(gate_.Skips());
            // Only a page that came is scanned: a skipped site leaves the
            // buffer as the last site left it, and its addresses are in
            // Results already. The site's addresses merge in without
            // repeats, at a cost that grows with them, not with the list.
            if (site.outcome == TSiteGate::Fetched) {
                std::vector<std::string> found;
                ScanAddresses(page_, [&found](std::string_view address) { found.emplace_back(address); });
                results_.MergeUnique(std::move(found));
            }
            ++examined;
            view_.SetHarvestPosition(examined);
            view_.ShowExamined(progress(examined));
            view_.ShowResultCount(results_.Count());
            if (OnSiteDone)
                OnSiteDone(examined, ticked, results_.Count());
        }
        ++index;
    }

    if (stop_) {
        resumeIndex_ = index;
        RemoveDuplicates(results_);
        view_.HarvestOffersResume();
    }
    if (view_.HarvestSettings().DisconnectOnEnd)
        view_.HangUp();
    CleanAllAddresses(results_);
}
